// How long a packet is by its own header, counts and lengths, so that a file
// is read only as far as the packet in it goes.
#include <gtest/gtest.h>

#include <string>

#include "dataset/data_store.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dataset/store_test_support.h"

namespace wardenix {
namespace {

using namespace test;

Bytes with_tail(Bytes packet, std::string_view tail) {
  packet.insert(packet.end(), tail.begin(), tail.end());
  return packet;
}

// No prefix shorter than the packet gives an extent; the whole packet, with
// or without bytes after it, gives its own length.
void expect_extent(const Bytes& packet, std::size_t length) {
  for (std::size_t n = 0; n < length; ++n) {
    EXPECT_EQ(packet_extent(std::span(packet).first(n)), std::nullopt) << "cut at " << n;
  }
  EXPECT_EQ(packet_extent(std::span(packet).first(length)), length);
  EXPECT_EQ(packet_extent(packet), length);
}

TEST(PacketExtent, BinaryPacketsEndAfterTheirLastRow) {
  TableSpec table{{column("ID", 1, 4), column("NAME", 9, 2, kVarying),
                   nested_column("LINES", {column("QTY", 1, 2)}, {int_option("X", 1)})},
                  {bool_option("NO_RESET_CALL", true)}};
  PacketWriter w(table);
  w.begin_row(3).value(le(1, 4)).varying(2, "one").nested(2);
  w.begin_row(1).value(le(5, 2)).end_row();
  w.begin_row(1).blank().end_row();
  w.end_row();
  w.begin_row(3).blank().varying(2, "").nested(0).end_row();
  const Bytes packet = w.finish();
  // Bytes after the rows, even ones that look like more rows, are not part of it.
  expect_extent(with_tail(packet, std::string(40, '\0')), packet.size());
}

TEST(PacketExtent, XmlPacketsEndWithTheirDocumentElement) {
  const std::string document =
      " \xEF\xBB\xBF<?xml version=\"1.0\"?><!-- note --><DATAPACKET><METADATA><FIELDS>"
      "<FIELD attrname=\"A\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA><ROW A=\"1\"/>"
      "</ROWDATA></DATAPACKET>";
  expect_extent(bytes_of(document + "<ROWDATA>more</ROWDATA>"), document.size());
  expect_extent(bytes_of("<ROWDATA/>\n\n"), 10);
}

TEST(PacketExtent, NoExtentForWhatIsNoPacket) {
  for (const std::string text : {"", "plain text", "<A><B></A></B>", "<A attribute></A>"}) {
    EXPECT_EQ(packet_extent(bytes_of(text)), std::nullopt) << text;
  }
  HeaderSpec no_metadata;
  no_metadata.flags = 0;
  EXPECT_EQ(packet_extent(PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, no_metadata).finish()), std::nullopt);
}

}  // namespace
}  // namespace wardenix
