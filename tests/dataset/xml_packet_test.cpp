// The XML form of a packet.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

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
// short text must not turn into a packet larger than the text may cost.
TEST(XmlPacket, BlowUpIntoAHugePacketIsRejected) {
  std::string text = "<DATAPACKET><METADATA><FIELDS>";
  for (std::size_t i = 0; i < 1000; ++i) {
    text.append("<FIELD attrname=\"C").append(std::to_string(i)).append("\" fieldtype=\"i4\"/>");
  }
  text.append("</FIELDS></METADATA><ROWDATA>");
  for (int i = 0; i < 50000; ++i) text.append("<ROW/>");
  EXPECT_EQ(load_status(xml(text + "</ROWDATA></DATAPACKET>")), kInsufficientMemory);
  // Refused as soon as the rows pass what the packet may cost: the rest is
  // not read (nor counted, which could take long).
  EXPECT_EQ(load_status(xml(text + "<ROW")), kInsufficientMemory);
}

TEST(XmlPacket, DatapacketHoldsMetadataOrRowdataFirst) {
  const std::string fields = R"(<FIELDS><FIELD attrname="A" fieldtype="i4"/></FIELDS>)";
  const std::string rows = R"(<ROWDATA><ROW A="1"/></ROWDATA>)";
  const std::pair<std::string, std::int32_t> cases[] = {
      {"<DATAPACKET>" + fields + rows + "</DATAPACKET>", kMismatch},
      {"<DATAPACKET><PARAMS/><METADATA>" + fields + "</METADATA>" + rows + "</DATAPACKET>", kMismatch},
      {"<DATAPACKET><ROW A=\"1\"/>" + rows + "</DATAPACKET>", kMismatch},
      {"<DATAPACKET></DATAPACKET>", kMismatch},
      {"<DATAPACKET/>", kMismatch},
      {"<DATAPACKET><!-- a note --><?pi?>text<METADATA>" + fields + "</METADATA>" + rows + "</DATAPACKET>", kOk},
      {"<METADATA>" + fields + "</METADATA>", kOk},
      {rows, kNoMetadata},
      {"<DATAPACKET>" + rows + "<METADATA>" + fields + "</METADATA></DATAPACKET>", kNoMetadata},
  };
  for (const auto& [text, status] : cases) EXPECT_EQ(load_status(xml(text)), status) << text;
}

// What lies beside the rows is read past: elements between the metadata and
// the rows, further ROWDATA elements, elements inside a row that name no
// nested table, and anything after the document element.
TEST(XmlPacket, OtherElementsArePassedOver) {
  DataStore store;
  ASSERT_EQ(append(store, xml(R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="A" fieldtype="i4"/>)"
                              R"(</FIELDS></METADATA><NOTE><ROW A="9"/></NOTE><ROWDATA><ROW A="1">)"
                              R"(<EXTRA><ROW A="8"/></EXTRA></ROW><OTHER/><ROW A="2"/></ROWDATA>)"
                              R"(<ROWDATA><ROW A="7"/></ROWDATA></DATAPACKET>  <trailing & unread)")),
            kOk);
  ASSERT_EQ(store.RowCount(), 2u);
  EXPECT_EQ(bytes_of(store.Row(0).values()[0].bytes), le(1, 4));
  EXPECT_EQ(bytes_of(store.Row(1).values()[0].bytes), le(2, 4));
}

// A row's nested tables are taken in column order: an element for a nested
// column that comes after the element of a later one is passed over, and so
// is a second element for the same column.
TEST(XmlPacket, NestedTablesInColumnOrder) {
  const std::string metadata =
      R"(<METADATA><FIELDS><FIELD attrname="N1" fieldtype="nested"><FIELDS><FIELD attrname="X" fieldtype="i2"/>)"
      R"(</FIELDS></FIELD><FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="N2" fieldtype="nested">)"
      R"(<FIELDS><FIELD attrname="Y" fieldtype="i2"/></FIELDS></FIELD></FIELDS></METADATA>)";
  const struct {
    std::string row;
    std::size_t n1_rows;  // SIZE_MAX: blank
    std::size_t n2_rows;
  } cases[] = {
      {R"(<ROW ID="5"><N1><ROW X="1"/><ROW X="2"/></N1><N2><ROW Y="3"/></N2></ROW>)", 2, 1},
      {R"(<ROW ID="5"><N2><ROW Y="3"/></N2><N1><ROW X="1"/></N1></ROW>)", SIZE_MAX, 1},
      {R"(<ROW ID="5"><N1><ROW X="1"/></N1><N1><ROW X="1"/><ROW X="2"/></N1></ROW>)", 1, SIZE_MAX},
      {R"(<ROW ID="5"><N1/></ROW>)", 0, SIZE_MAX},
      {R"(<ROW ID="5"/>)", SIZE_MAX, SIZE_MAX},
  };
  for (const auto& c : cases) {
    DataStore store;
    ASSERT_EQ(append(store, xml("<DATAPACKET>" + metadata + "<ROWDATA>" + c.row + "</ROWDATA></DATAPACKET>")), kOk)
        << c.row;
    const auto values = store.Row(0).values();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(bytes_of(values[1].bytes), le(5, 4)) << c.row;
    for (const auto& [value, rows] : {std::pair{&values[0], c.n1_rows}, std::pair{&values[2], c.n2_rows}}) {
      if (rows == SIZE_MAX) {
        EXPECT_EQ(value->state, SlotState::Blank) << c.row;
      } else {
        EXPECT_EQ(value->state, SlotState::Value) << c.row;
        EXPECT_EQ(value->nested_rows.size(), rows) << c.row;
      }
    }
  }
  // Values inside nested rows, read in order.
  DataStore store;
  ASSERT_EQ(append(store, xml("<DATAPACKET>" + metadata + "<ROWDATA>" + cases[0].row + "</ROWDATA></DATAPACKET>")),
            kOk);
  const auto values = store.Row(0).values();
  EXPECT_EQ(bytes_of(values[0].nested_rows[1].values()[0].bytes), le(2, 2));
  EXPECT_EQ(bytes_of(values[2].nested_rows[0].values()[0].bytes), le(3, 2));
}

// A document that cannot be read is a mismatch, whatever its metadata says.
TEST(XmlPacket, UnreadableTextBeforeRefusedMetadata) {
  const std::string head = R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="A" fieldtype="i3"/></FIELDS></METADATA>)";
  EXPECT_EQ(load_status(xml(head + "<ROWDATA><ROW A=\"1\"/></ROWDATA></DATAPACKET>")), kInvalidFieldType);
  EXPECT_EQ(load_status(xml(head + "<ROWDATA><ROW A=\"1\"/></ROWDATA>")), kMismatch);
  EXPECT_EQ(load_status(xml(head + "<ROWDATA><ROW A=\"1\"></ROWDATA></DATAPACKET>")), kMismatch);
}

// Every integer width: the values at its ends are kept as their bytes, the
// first values past them are refused.
TEST(XmlPacket, IntegerRanges) {
  const struct {
    const char* type;
    const char* text;
    std::optional<std::uint64_t> stored;  // nothing: refused
    std::size_t width;
  } cases[] = {
      {"i1", "127", 0x7F, 1},
      {"i1", "-128", 0x80, 1},
      {"i1", "128", std::nullopt, 1},
      {"i1", "-129", std::nullopt, 1},
      {"i2", "32767", 0x7FFF, 2},
      {"i2", "-32768", 0x8000, 2},
      {"i2", "32768", std::nullopt, 2},
      {"i2", "-32769", std::nullopt, 2},
      {"i4", "2147483647", 0x7FFFFFFF, 4},
      {"i4", "-2147483648", 0x80000000, 4},
      {"i4", "2147483648", std::nullopt, 4},
      {"i4", "-2147483649", std::nullopt, 4},
      {"int", "2147483647", 0x7FFFFFFF, 4},
      {"int", "2147483648", std::nullopt, 4},
      {"i8", "9223372036854775807", 0x7FFFFFFFFFFFFFFFull, 8},
      {"i8", "-9223372036854775808", 0x8000000000000000ull, 8},
      {"i8", "9223372036854775808", std::nullopt, 8},
      {"i8", "-9223372036854775809", std::nullopt, 8},
      {"ui1", "255", 0xFF, 1},
      {"ui1", "0", 0, 1},
      {"ui1", "256", std::nullopt, 1},
      {"ui1", "-1", std::nullopt, 1},
      {"ui2", "65535", 0xFFFF, 2},
      {"ui2", "65536", std::nullopt, 2},
      {"ui4", "4294967295", 0xFFFFFFFF, 4},
      {"ui4", "4294967296", std::nullopt, 4},
      {"uint", "4294967295", 0xFFFFFFFF, 4},
      {"uint", "4294967296", std::nullopt, 4},
      {"ui8", "18446744073709551615", 0xFFFFFFFFFFFFFFFFull, 8},
      {"ui8", "18446744073709551616", std::nullopt, 8},
      {"ui8", "-1", std::nullopt, 8},
      {"boolean", "32767", 0x7FFF, 2},
      {"boolean", "-32768", 0x8000, 2},
      {"boolean", "32768", std::nullopt, 2},
      {"boolean", "TRUE", 0xFFFF, 2},
      {"date", "2147483647", 0x7FFFFFFF, 4},
      {"date", "2147483648", std::nullopt, 4},
      {"time", "-2147483648", 0x80000000, 4},
      {"time", "-2147483649", std::nullopt, 4},
  };
  for (const auto& c : cases) {
    std::string text = R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="V" fieldtype=")";
    text.append(c.type).append(R"("/></FIELDS></METADATA><ROWDATA><ROW V=")").append(c.text);
    text.append(R"("/></ROWDATA></DATAPACKET>)");
    DataStore store;
    const auto status = append(store, xml(text));
    if (!c.stored) {
      EXPECT_EQ(status, kMismatch) << c.type << " " << c.text;
      continue;
    }
    ASSERT_EQ(status, kOk) << c.type << " " << c.text;
    EXPECT_EQ(bytes_of(store.Row(0).values()[0].bytes), le(*c.stored, c.width)) << c.type << " " << c.text;
  }
}

// The other limits of a row: its state is one byte, a text with a 2-byte
// prefix at most 65535 bytes long, and elements nest at most 512 deep.
TEST(XmlPacket, RowLimits) {
  const auto row_status = [](const std::string& row, const char* type = "string") {
    std::string text = R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="V" fieldtype=")";
    text.append(type).append(R"("/></FIELDS></METADATA><ROWDATA>)").append(row).append("</ROWDATA></DATAPACKET>");
    return load_status(xml(text));
  };
  const auto nested = [](std::size_t depth) {
    std::string row = "<ROW>";
    for (std::size_t i = 0; i < depth; ++i) row.append("<X>");
    for (std::size_t i = 0; i < depth; ++i) row.append("</X>");
    return row.append("</ROW>");
  };
  EXPECT_EQ(row_status(R"(<ROW RowState="255"/>)"), kOk);
  EXPECT_EQ(row_status(R"(<ROW RowState="256"/>)"), kMismatch);
  EXPECT_EQ(row_status(R"(<ROW RowState="-1"/>)"), kMismatch);
  EXPECT_EQ(row_status("<ROW V=\"" + std::string(65535, 'a') + "\"/>"), kOk);
  EXPECT_EQ(row_status("<ROW V=\"" + std::string(65536, 'a') + "\"/>"), kMismatch);
  // DATAPACKET, ROWDATA and ROW are three levels of the 512.
  EXPECT_EQ(row_status(nested(509)), kOk);
  EXPECT_EQ(row_status(nested(510)), kMismatch);
}

TEST(XmlPacket, DeepNestingIsRejected) {
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "<A>";
  EXPECT_EQ(load_status(xml(deep)), kMismatch);
}

}  // namespace
}  // namespace wardenix
