// The XML form of a packet.
#include <gtest/gtest.h>

#include "dataset/data_store.h"
#include "dataset/packet_values.h"
#include "dataset/store_messages.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dataset/store_test_support.h"

namespace wardenix {
namespace {

using namespace test;
using namespace store_status;

const char* const kPacket =
    R"(<?xml version="1.0" standalone="yes"?><!-- made by hand -->)"
    R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="ID" fieldtype="i4" required="true"/>)"
    R"(<FIELD attrname="NAME" fieldtype="string" WIDTH="30" readonly="TRUE"/>)"
    R"(<FIELD attrname="PRICE" fieldtype="r8"/>)"
    R"(<FIELD attrname="DONE" fieldtype="boolean"/>)"
    R"(<FIELD attrname="RAW" fieldtype="bin.hex" SUBTYPE="Binary"/>)"
    R"(<FIELD attrname="LINES" fieldtype="nested"><FIELDS>)"
    R"(<FIELD attrname="QTY" fieldtype="i2"/></FIELDS></FIELD>)"
    R"(</FIELDS><PARAMS NO_RESET_CALL="TRUE" LCID="1033" TITLE="a &amp; b"/></METADATA>)"
    R"(<ROWDATA><ROW ID="7" NAME="caf&#233;" PRICE="2.5" DONE="TRUE" RAW="00ff">)"
    R"(<LINES><ROW QTY="3"/><ROW RowState="4"/></LINES></ROW>)"
    R"(<ROW ID="-1"/></ROWDATA></DATAPACKET>)";

Bytes xml(std::string_view text) { return bytes_of(text); }

TEST(XmlPacket, ReadsMetadataOptionsAndRows) {
  DataStore store;
  ASSERT_EQ(append(store, xml(kPacket)), kOk);
  const PacketTable& t = store.Table();
  ASSERT_EQ(t.columns.size(), 6u);
  EXPECT_EQ(t.columns[0].attributes, column_attribute::kRequired);
  EXPECT_EQ(t.columns[1].attributes, column_attribute::kReadOnly);
  EXPECT_EQ(t.columns[1].width, 30);
  EXPECT_EQ(t.columns[4].subtype, "Binary");
  EXPECT_EQ(t.columns[5].code(), packet_type::kNested);
  EXPECT_EQ(t.columns[5].type_word & 0xFF000000u, 0x5000000u);
  ASSERT_NE(store.GetOption("NO_RESET_CALL"), nullptr);
  EXPECT_EQ(packet_type::code(store.GetOption("NO_RESET_CALL")->type_word), packet_type::kBoolean);
  EXPECT_EQ(option_integer(*store.GetOption("LCID")), 1033);
  EXPECT_EQ(option_text(*store.GetOption("TITLE")), "a & b");

  ASSERT_EQ(store.RowCount(), 2u);
  const auto row = store.Row(0).values();
  EXPECT_EQ(bytes_of(row[0].bytes), le(7, 4));
  EXPECT_EQ(bytes_of(row[1].bytes), bytes_of("caf\xC3\xA9"));
  EXPECT_EQ(bytes_of(row[2].bytes), f64(2.5));
  EXPECT_EQ(bytes_of(row[3].bytes), le(0xFFFF, 2));
  EXPECT_EQ(bytes_of(row[4].bytes), (Bytes{0x00, 0xFF}));
  ASSERT_EQ(row[5].nested_rows.size(), 2u);
  EXPECT_EQ(bytes_of(row[5].nested_rows[0].values()[0].bytes), le(3, 2));
  EXPECT_EQ(row[5].nested_rows[1].row_state(), 4);
  EXPECT_EQ(row[5].nested_rows[1].values()[0].state, SlotState::Blank);
  const auto second = store.Row(1).values();
  EXPECT_EQ(bytes_of(second[0].bytes), le(0xFFFFFFFF, 4));
  for (std::size_t i = 1; i < second.size(); ++i) EXPECT_EQ(second[i].state, SlotState::Blank);
}

TEST(XmlPacket, LeadingSpaceByteOrderMarkAndEncodings) {
  const std::string body =
      R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="T" fieldtype="string"/></FIELDS></METADATA>)"
      "<ROWDATA><ROW T=\"\xC3\xA9\"/></ROWDATA></DATAPACKET>";
  const auto first_value = [](const std::string& text) {
    DataStore store;
    EXPECT_EQ(append(store, xml(text)), kOk);
    return store.RowCount() ? bytes_of(store.Row(0).values()[0].bytes) : Bytes{};
  };
  // With a byte-order mark or a UTF-8 declaration the bytes are UTF-8 already;
  // otherwise each byte is a character of its own.
  EXPECT_EQ(first_value(" \t\r\n\xEF\xBB\xBF" + body), bytes_of("\xC3\xA9"));
  EXPECT_EQ(first_value(R"(<?xml version="1.0" encoding="utf-8"?>)" + body), bytes_of("\xC3\xA9"));
  EXPECT_EQ(first_value(body), bytes_of("\xC3\x83\xC2\xA9"));
}

TEST(XmlPacket, Rejections) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"  DATAPACKET", kMismatch},
      {"<?xml version=\"1.0\"?><OTHER/>", kMismatch},
      {"<DATAPACKET><METADATA/></DATAPACKET>", kMismatch},
      {"<DATAPACKET><METADATA><FIELDS><FIELD fieldtype=\"i4\"/></FIELDS></METADATA></DATAPACKET>",
       kMismatch},
      {"<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i3\"/></FIELDS></METADATA>"
       "</DATAPACKET>",
       kInvalidFieldType},
      {"<DATAPACKET><METADATA><FIELDS><FIELD tagname=\"A\" fieldtype=\"string\" subtype=\"Text\"/>"
       "</FIELDS></METADATA><ROWDATA><ROW A=\"x\"/></ROWDATA></DATAPACKET>",
       kOk},
      {"<DATAPACKET><ROWDATA><ROW A=\"1\"/></ROWDATA></DATAPACKET>", kNoMetadata},
      {"<DATAPACKET><METADATA><FIELDS></FIELDS></METADATA></DATAPACKET>", kMismatch},
      {"<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i4\"/></FIELDS></METADATA>"
       "<ROWDATA><ROW A=\"x1\"/></ROWDATA></DATAPACKET>",
       kMismatch},
      {"<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i1\"/></FIELDS></METADATA>"
       "<ROWDATA><ROW A=\"300\"/></ROWDATA></DATAPACKET>",
       kMismatch},
      {"<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i4\"/></FIELDS></METADATA>"
       "<ROWDATA><ROW A=\"&bogus;\"/></ROWDATA></DATAPACKET>",
       kMismatch},
  };
  for (const auto& [text, status] : cases) EXPECT_EQ(load_status(xml(text)), status) << text;
}

TEST(XmlPacket, RowsOnlyPacketExtendsAPartialStore) {
  DataStore store;
  ASSERT_EQ(append(store, xml("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i4\"/>"
                              "</FIELDS></METADATA><ROWDATA><ROW A=\"1\"/></ROWDATA></DATAPACKET>"),
                   false),
            kOk);
  ASSERT_EQ(append(store, xml("<ROWDATA><ROW A=\"2\"/><ROW/></ROWDATA>"), true), kOk);
  ASSERT_EQ(store.RowCount(), 3u);
  EXPECT_EQ(bytes_of(store.Row(1).values()[0].bytes), le(2, 4));
  EXPECT_EQ(store.Row(2).values()[0].state, SlotState::Blank);
}

TEST(XmlPacket, LongNamesKeepTheirFullName) {
  const std::string name(40, 'L');
  DataStore store;
  ASSERT_EQ(append(store, xml("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"" + name +
                              "\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA><ROW " + name +
                              "=\"5\"/></ROWDATA></DATAPACKET>")),
            kOk);
  EXPECT_EQ(store.Table().columns[0].name, std::string(31, 'L'));
  EXPECT_EQ(store.Table().columns[0].full_name, name);
  EXPECT_EQ(bytes_of(store.Row(0).values()[0].bytes), le(5, 4));
}

TEST(XmlPacket, EveryCutIsRejected) {
  const std::string text = kPacket;
  for (std::size_t n = 0; n < text.size(); ++n) {
    EXPECT_NE(load_status(xml(text.substr(0, n))), kOk) << "cut at " << n;
  }
}

// Blank columns cost status bits in the binary form and nothing in XML: a
// short text must not turn into a packet of any size.
TEST(XmlPacket, BlowUpIntoAHugePacketIsRejected) {
  std::string text = "<DATAPACKET><METADATA><FIELDS>";
  for (std::size_t i = 0; i < 1000; ++i) {
    text.append("<FIELD attrname=\"C").append(std::to_string(i)).append("\" fieldtype=\"i4\"/>");
  }
  text.append("</FIELDS></METADATA><ROWDATA>");
  for (int i = 0; i < 50000; ++i) text.append("<ROW/>");
  text.append("</ROWDATA></DATAPACKET>");
  EXPECT_EQ(load_status(xml(text)), kMismatch);
}

TEST(XmlPacket, DeepNestingIsRejected) {
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "<A>";
  EXPECT_EQ(load_status(xml(deep)), kMismatch);
}

}  // namespace
}  // namespace wardenix
