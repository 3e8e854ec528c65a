// Writes small seed packets for fuzz_packet_reader into the directory given.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/dataset/packet_writer.h"

using namespace wardenix::test;

namespace {

void save(const std::string& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream(dir + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_packet_seeds DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];

  PacketWriter plain(TableSpec{{column("ID", 1, 4), column("NAME", 9, 1, kVarying), column("P", 4, 8)},
                               {bool_option("NO_RESET_CALL", true)}});
  plain.begin_row(3).value(le(1, 4)).varying(1, "a").value(f64(0.5)).end_row();
  plain.begin_row(3).blank().unchanged().value(f64(1)).end_row();
  save(dir, "plain.bin", plain.finish());

  ColumnSpec sub = column("T", 10, 2, kVarying);
  sub.options = {text_option("SUBTYPE", "WideText"), int_option("WIDTH", 8)};
  TableSpec shapes{{struct_column("S", {column("A", 1, 1), sub}), array_column("R", 2, column("E", 27, 4)),
                    column("B", 5, 0x0802), nested_column("N", {column("Q", 2, 2)}, {int_option("X", 1)})},
                   {{"L", type_word(1, 2, kArrayBit), Bytes{1, 0, 0, 0, 5, 0}}}};
  PacketWriter nested(shapes);
  nested.begin_row(positions_of(shapes.columns)).empty().value(le(1, 1)).varying(2, utf16le(u"hi"));
  nested.empty().value(f64(1)).blank().value(Bytes(18, 1)).nested(1);
  nested.begin_row(1).value(le(3, 2)).end_row();
  nested.end_row();
  save(dir, "shapes.bin", nested.finish());

  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DATAPACKET><METADATA><FIELDS>"
      "<FIELD attrname=\"ID\" fieldtype=\"i4\"/><FIELD attrname=\"S\" fieldtype=\"string\" WIDTH=\"9\"/>"
      "<FIELD attrname=\"N\" fieldtype=\"nested\"><FIELDS><FIELD attrname=\"D\" fieldtype=\"dateTime\"/>"
      "</FIELDS></FIELD></FIELDS><PARAMS LCID=\"1033\"/></METADATA><ROWDATA>"
      "<ROW ID=\"1\" S=\"x&amp;y\"><N><ROW D=\"1.5\"/></N></ROW><ROW RowState=\"4\"/></ROWDATA></DATAPACKET>";
  save(dir, "packet.xml", Bytes(xml.begin(), xml.end()));
  return 0;
}
