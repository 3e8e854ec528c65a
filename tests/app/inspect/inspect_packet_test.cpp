// wardenix-inspect packet FILE, run as administrators run it, on packets
// written by the test packet writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "dataset/packet_budget.h"
#include "tests/app/inspect/inspect_run.h"
#include "tests/dataset/packet_writer.h"
#include "tests/support/temp_dir.h"

namespace wardenix {
namespace {

using namespace test;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

using testing::join;
using testing::native_path;
using testing::RunResult;

class InspectCommand : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = temp_.path(); }

  std::string write(const std::string& name, const Bytes& bytes) {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  RunResult run(const std::string& arguments) { return testing::run_inspect(dir_, arguments); }

  RunResult inspect(const Bytes& packet) { return run(join({"packet \"", write("packet.bin", packet), "\""})); }

  testing::TempDir temp_;
  std::filesystem::path dir_;
};

TEST_F(InspectCommand, AcceptedPacketAsJson) {
  ColumnSpec autoinc = column("id", 1, 2);
  autoinc.attributes = 0x4;
  autoinc.options = {text_option("SUBTYPE", "Autoinc")};
  const std::string long_name(40, 'L');
  ColumnSpec long_named = column(long_name, 1, 4);
  long_named.attributes = 0x1;
  long_named.options = {text_option("FIELDNAME", long_name)};
  TableSpec table{
      {column("ID", 1, 4), column("Name", 9, 2, kVarying), column("CODE", 9, 6), column("PRICE", 4, 8),
       column("RATE", 27, 4), column("BIG", 2, 8), column("OK", 3, 2), column("DAY", 6, 4),
       column("WIDE", 10, 2, kVarying), column("RAW", 11, 4, kVarying), column("AMOUNT", 5, 0x0802),
       column("X80", 4, 10), autoinc, long_named,
       struct_column("PT", {column("PX", 1, 1), column("PY", 1, 1)}),
       array_column("ARR", 2, column("E", 1, 1)), nested_column("LINES", {column("QTY", 1, 2)})},
      {bool_option("DISABLE_EDITS", true), bool_option("NO_RESET_CALL", false),
       int_option("LCID", 1033), text_option("TITLE", "x"),
       {"RATIO", type_word(4, 8), f64(0.5)},
       {"LIST", type_word(1, 1, kArrayBit), Bytes{1, 0, 0, 0, 9}},
       int_option("lcid", 7)}};
  const std::size_t positions = positions_of(table.columns);
  ASSERT_EQ(positions, 21u);
  Bytes bcd;
  for (std::uint8_t i = 1; i <= 18; ++i) bcd.push_back(i);
  Bytes extended;
  for (std::uint8_t i = 0; i < 10; ++i) extended.push_back(i);
  PacketWriter w(table);
  w.begin_row(positions).value(le(1, 4)).varying(2, "Gr\xC3\xBC\xC3\x9F" "e").value(bytes_of(std::string("AB\0\0\0\0", 6)));
  w.value(f64(2.5)).value(f64(0.25)).value(le(~0ull, 8)).value(le(0xFFFF, 2)).value(le(738000, 4));
  w.varying(2, utf16le(u"\u03A9k")).varying(4, Bytes{0x00, 0xFF}).value(bcd).value(extended);
  w.value(le(7, 2)).value(le(5, 4)).empty().value(le(1, 1)).blank().empty().value(le(3, 1)).value(le(4, 1));
  w.nested(2);
  w.begin_row(1).value(le(10, 2)).end_row();
  w.begin_row(1).blank().end_row();
  w.end_row();
  w.begin_row(positions).value(le(2, 4));
  for (int i = 1; i < 20; ++i) w.blank();
  w.nested(0).end_row();

  const auto result = inspect(w.finish());
  EXPECT_EQ(result.exit_code, 0);
  const std::string expected = join({
      R"({"columns":[{"name":"ID","type":1,"size":4,"attributes":0},)"
      R"({"name":"Name","type":9,"size":2,"attributes":0},{"name":"CODE","type":9,"size":6,"attributes":0},)"
      R"({"name":"PRICE","type":4,"size":8,"attributes":0},{"name":"RATE","type":27,"size":4,"attributes":0},)"
      R"({"name":"BIG","type":2,"size":8,"attributes":0},{"name":"OK","type":3,"size":2,"attributes":0},)"
      R"({"name":"DAY","type":6,"size":4,"attributes":0},{"name":"WIDE","type":10,"size":2,"attributes":0},)"
      R"({"name":"RAW","type":11,"size":4,"attributes":0},{"name":"AMOUNT","type":5,"size":2050,"attributes":0},)"
      R"({"name":"X80","type":4,"size":10,"attributes":0},{"name":"id_1","type":1,"size":2,"attributes":6},)"
      R"({"name":")", long_name, R"(","type":1,"size":4,"attributes":1},)"
      R"({"name":"PT","type":12,"size":2,"attributes":0},{"name":"PX","type":1,"size":1,"attributes":0},)"
      R"({"name":"PY","type":1,"size":1,"attributes":0},{"name":"ARR","type":13,"size":2,"attributes":0},)"
      R"({"name":"E","type":1,"size":1,"attributes":0},)"
      R"({"name":"LINES","type":14,"size":1,"attributes":0,"columns":[{"name":"QTY","type":1,"size":2,"attributes":0}]}],)"
      R"("rows":[[1,"Grüße","AB",2.5,0.25,18446744073709551615,-1,738000,"Ωk","00ff",)"
      R"("0102030405060708090a0b0c0d0e0f101112","00010203040506070809",7,5,null,1,null,null,3,4,[[10],[null]]],)"
      R"([2,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,[]]],)"
      R"("dataset_options":{"doDisableEdits":true,"doDisableInserts":false,"doDisableDeletes":false,"doNoResetCall":false},)"
      R"("table_options":{"DISABLE_EDITS":true,"NO_RESET_CALL":false,"LCID":1033,"TITLE":"x","RATIO":0.5}})"
      "\n"});
  EXPECT_EQ(result.out, expected);
}

TEST_F(InspectCommand, XmlPacket) {
  const auto result = inspect(bytes_of(
      "\xEF\xBB\xBF<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"ID\" fieldtype=\"i4\"/>"
      "<FIELD attrname=\"id\" fieldtype=\"string\" required=\"true\"/></FIELDS>"
      "<PARAMS DISABLE_DELETES=\"TRUE\"/></METADATA>"
      "<ROWDATA><ROW ID=\"-3\"/></ROWDATA></DATAPACKET>"));
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out,
            R"({"columns":[{"name":"ID","type":1,"size":4,"attributes":0},)"
            R"({"name":"id_1","type":9,"size":2,"attributes":4}],"rows":[[-3,null]],)"
            R"("dataset_options":{"doDisableEdits":false,"doDisableInserts":false,"doDisableDeletes":true,"doNoResetCall":false},)"
            R"("table_options":{"DISABLE_DELETES":true}})"
            "\n");
}

TEST_F(InspectCommand, RejectedPackets) {
  HeaderSpec no_metadata;
  no_metadata.flags = 0;
  const struct {
    Bytes packet;
    const char* json;
  } cases[] = {
      {Bytes{}, R"({"error":{"class":"EDatabaseError","code":0,"message":"Invalid data packet"}})"},
      {Bytes(21, 'A'), R"({"error":{"class":"EDatabaseError","code":0,"message":"Invalid data packet"}})"},
      {Bytes(22, 'A'), R"({"error":{"class":"EDBClient","code":16389,"message":"Mismatch in datapacket."}})"},
      {PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, no_metadata).finish(),
       R"({"error":{"class":"EDBClient","code":16387,"message":"Datapacket contains no meta data."}})"},
      {PacketWriter(TableSpec{{column("", 1, 4)}, {}}).finish(),
       R"({"error":{"class":"EDBClient","code":10038,"message":"Field name can't be null, datapacket may be corrupted"}})"},
  };
  for (const auto& c : cases) {
    const auto result = inspect(c.packet);
    EXPECT_EQ(result.exit_code, 1) << c.json;
    EXPECT_EQ(result.out, join({c.json, "\n"}));
  }
}

// A packet followed by other bytes reads as the packet alone; the bytes after
// it are not even read (a file may be far larger than its packet).
TEST_F(InspectCommand, OnlyThePacketIsRead) {
  PacketWriter w(TableSpec{{column("A", 1, 4)}, {}});
  w.begin_row(1).value(le(7, 4)).end_row();
  const Bytes packet = w.finish();
  const auto alone = inspect(packet);
  ASSERT_EQ(alone.exit_code, 0);
  const Bytes xml = bytes_of(R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="A" fieldtype="i4"/></FIELDS>)"
                             R"(</METADATA><ROWDATA><ROW A="7"/></ROWDATA></DATAPACKET>)");
  // A document shorter than the least the dataset takes for a packet is
  // judged with the bytes after it, as when the file is read whole.
  const Bytes short_document = bytes_of("<ROWDATA/>");
  for (const auto& [first, expected] : {std::pair{packet, alone.out}, std::pair{xml, alone.out},
                                        std::pair{short_document, std::string(R"({"error":{"class":"EDBClient",)"
                                                                              R"("code":16387,"message":)"
                                                                              R"("Datapacket contains no meta data."}})"
                                                                              "\n")}}) {
    const std::string path = write("tail.bin", first);
    std::filesystem::resize_file(path, std::uintmax_t{24} << 20);  // zeros, mostly not stored
    const auto result = run(join({"packet \"", path, "\""}));
    EXPECT_EQ(result.exit_code, expected == alone.out ? 0 : 1);
    EXPECT_EQ(result.out, expected);
  }
}

// What is no regular file, or is larger than the largest packet, is refused
// before anything is read from it.
TEST_F(InspectCommand, RefusesWhatIsNoPacketFile) {
  std::vector<std::string> paths = {dir_.string()};
  const std::string too_large = write("large.bin", Bytes{'<'});
  std::filesystem::resize_file(too_large, kMaxPacketBytes + 1);
  paths.push_back(too_large);
#ifndef _WIN32
  // Opening a FIFO for reading would wait for a writer for good.
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  paths.push_back(fifo);
#endif
  for (const auto& path : paths) {
    const auto result = run(join({"packet \"", path, "\""}));
    EXPECT_EQ(result.exit_code, 2) << path;
    EXPECT_EQ(result.out, "") << path;
    EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
  }
  std::filesystem::resize_file(too_large, kMaxPacketBytes);
  EXPECT_EQ(run(join({"packet \"", too_large, "\""})).exit_code, 1);  // read, and no packet
}

TEST_F(InspectCommand, HelpNamesTheLargestPacket) {
  const auto result = run("--help");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.out.find("packet FILE"), std::string::npos);
  EXPECT_NE(result.out.find("32 MiB"), std::string::npos);
}

TEST_F(InspectCommand, VersionIsTheProjectVersion) {
  const auto result = run("--version");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, std::string("wardenix-inspect ") + WARDENIX_VERSION_TEXT + "\n");
  EXPECT_EQ(run("--version extra").exit_code, 2);
}

TEST_F(InspectCommand, UsageAndUnreadableFiles) {
  EXPECT_EQ(run("").exit_code, 2);
  EXPECT_EQ(run("packet").exit_code, 2);
  EXPECT_EQ(run(join({"rows \"", write("p.bin", Bytes(30, 0)), "\""})).exit_code, 2);
  const auto missing = run(join({"packet \"", (dir_ / "missing.bin").string(), "\""}));
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.out, "");
}

// config: the exit status tells a script whether the watchdog can use its
// rez.ini. Only numeric hosts here, which resolve without asking anyone.
TEST_F(InspectCommand, ConfigExitStatus) {
  struct Case {
    const char* name;
    const char* ini;
    const char* options;
    int exit_code;
    const char* printed;
  };
  const Case cases[] = {
      {"usable", "[REZ]\nIPDS=127.0.0.1\nPORTADS=3063\n", "", 0, "PORTADS:  \"3063\" (line 3)"},
      {"bad port", "[REZ]\nIPDS=127.0.0.1\nPORTADS=abc\n", "", 1, "is not a port"},
      {"as JSON", "[REZ]\nIPDS=127.0.0.1\nPORTADS=0\n", " --json", 1, R"("usable":false)"},
  };
  for (const auto& c : cases) {
    write("rez.ini", Bytes(c.ini, c.ini + std::strlen(c.ini)));
    const auto result = run(join({"config \"", native_path(dir_.string()), "\"", c.options}));
    EXPECT_EQ(result.exit_code, c.exit_code) << c.name << ": " << result.err;
    EXPECT_NE(result.out.find(c.printed), std::string::npos) << c.name << ": " << result.out;
  }
  EXPECT_EQ(run("config a b").exit_code, 2);
  EXPECT_EQ(run("config --verbose").exit_code, 2);
}

}  // namespace
}  // namespace wardenix
