// Loading a 30 MB data packet of mixed fixed and varying columns, binary and
// as XML, beside a plain copy of the same bytes; and the shapes that cost the
// most for their size: XML rows of one-letter columns, and metadata with
// thousands of small options. Counters: bytes per second, and the peak of live
// heap memory during a load as a multiple of the packet's size (the packet
// itself included).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dataset/client_dataset.h"
#include "dataset/data_store.h"
#include "tests/dataset/packet_writer.h"
#include "bench/heap_counter.h"

namespace {

using namespace wardenix;
using namespace wardenix::test;

// Below the largest packet a store reads.
constexpr std::size_t kTargetBytes = 30u << 20;

// ID, quantity, price, timestamp, fixed code, varying name, varying note
// (sometimes blank), flag.
const Variant& packet() {
  static const Variant bytes = [] {
    const TableSpec table{{column("ID", 1, 4), column("QTY", 1, 2), column("PRICE", 4, 8),
                           column("WHEN", 8, 8), column("CODE", 9, 8), column("NAME", 9, 2, kVarying),
                           column("NOTE", 11, 4, kVarying), column("OK", 3, 2)},
                          {}};
    const std::string text(64, 'n');
    PacketWriter w(table);
    for (std::uint32_t r = 0; w.size() < kTargetBytes; ++r) {
      w.begin_row(8).value(le(r, 4)).value(le(r % 1000, 2)).value(f64(r * 0.25)).value(f64(45000.5 + r));
      w.value(Bytes{'C', 'O', 'D', 'E', 0, 0, 0, 0}).varying(2, std::string_view(text).substr(0, 5 + r % 26));
      if (r % 7 == 0) {
        w.blank();
      } else {
        w.varying(4, std::string_view(text).substr(0, r % 41));
      }
      w.value(le(r & 1 ? 0xFFFF : 0, 2)).end_row();
    }
    return Variant::from_bytes(w.finish());
  }();
  return bytes;
}

// The same columns and values as XML text.
const Variant& xml_packet() {
  static const Variant bytes = [] {
    std::string text =
        R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
        R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="QTY" fieldtype="i2"/>)"
        R"(<FIELD attrname="PRICE" fieldtype="r8"/><FIELD attrname="WHEN" fieldtype="dateTime"/>)"
        R"(<FIELD attrname="CODE" fieldtype="string" WIDTH="8"/><FIELD attrname="NAME" fieldtype="string"/>)"
        R"(<FIELD attrname="NOTE" fieldtype="bin.hex"/><FIELD attrname="OK" fieldtype="boolean"/>)"
        R"(</FIELDS></METADATA><ROWDATA>)";
    const std::string_view tail = "</ROWDATA></DATAPACKET>";
    const std::string hex(82, '6');
    text.reserve(kTargetBytes + 256);
    for (std::uint32_t r = 0; text.size() + tail.size() < kTargetBytes; ++r) {
      text.append("<ROW ID=\"").append(std::to_string(r)).append("\" QTY=\"").append(std::to_string(r % 1000));
      text.append("\" PRICE=\"").append(std::to_string(r * 0.25)).append("\" WHEN=\"");
      text.append(std::to_string(45000.5 + r)).append("\" CODE=\"CODE\" NAME=\"");
      text.append(std::string(5 + r % 26, 'n')).append("\"");
      if (r % 7 != 0) text.append(" NOTE=\"").append(hex.substr(0, 2 * (r % 41))).append("\"");
      text.append(r & 1 ? " OK=\"TRUE\"/>" : " OK=\"FALSE\"/>");
    }
    text.append(tail);
    return Variant::from_bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
  }();
  return bytes;
}

// Rows of two one-letter columns: the XML text is hardly longer than the
// binary form it becomes.
const Variant& narrow_xml_packet() {
  static const Variant bytes = [] {
    std::string text =
        R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="A" fieldtype="i4"/>)"
        R"(<FIELD attrname="B" fieldtype="i1"/></FIELDS></METADATA><ROWDATA>)";
    const std::string_view tail = "</ROWDATA></DATAPACKET>";
    for (std::uint32_t r = 0; text.size() + tail.size() < kTargetBytes; ++r) {
      text.append("<ROW A=\"").append(std::to_string(r % 1000)).append("\" B=\"1\"/>");
    }
    text.append(tail);
    return Variant::from_bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
  }();
  return bytes;
}

// A 6 MB packet of column options of six bytes each, the most an option
// object costs for its bytes: it is refused once they cost more than the
// packet may.
const Variant& option_packet() {
  static const Variant bytes = [] {
    TableSpec table;
    for (std::size_t c = 0; c < 16; ++c) {
      ColumnSpec optioned = column("C" + std::to_string(c), 1, 4);
      optioned.options.assign(65535, OptionSpec{"O", type_word(40, 0), {}});
      table.columns.push_back(std::move(optioned));
    }
    return Variant::from_bytes(PacketWriter(table).finish());
  }();
  return bytes;
}

void BM_Memcpy(benchmark::State& state) {
  const auto source = packet().bytes();
  std::vector<std::uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

template <typename Load>
void measure_load(benchmark::State& state, const Variant& p, Load load) {
  const std::size_t size = p.bytes().size();
  double peak_ratio = 0;
  for (auto _ : state) {
    const std::size_t before = wardenix::bench::reset_heap_peak();
    load(p);
    const std::size_t extra = wardenix::bench::heap_peak() - before;
    peak_ratio = static_cast<double>(size + extra) / static_cast<double>(size);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
  state.counters["peak_x_packet"] = peak_ratio;
  state.counters["packet_MB"] = static_cast<double>(size) / (1 << 20);
}

void append(const Variant& p, std::int32_t expected) {
  DataStore store;
  if (store.AppendPacket(p, true) != expected) std::abort();
  benchmark::DoNotOptimize(store.RowCount());
}

void BM_StoreAppendPacket(benchmark::State& state) {
  measure_load(state, packet(), [](const Variant& p) { append(p, 0); });
}
BENCHMARK(BM_StoreAppendPacket)->Unit(benchmark::kMillisecond);

void BM_StoreAppendXmlPacket(benchmark::State& state) {
  measure_load(state, xml_packet(), [](const Variant& p) { append(p, 0); });
}
BENCHMARK(BM_StoreAppendXmlPacket)->Unit(benchmark::kMillisecond);

void BM_StoreAppendNarrowXmlPacket(benchmark::State& state) {
  measure_load(state, narrow_xml_packet(), [](const Variant& p) { append(p, 0); });
}
BENCHMARK(BM_StoreAppendNarrowXmlPacket)->Unit(benchmark::kMillisecond);

void BM_StoreRefusesCostlyOptions(benchmark::State& state) {
  measure_load(state, option_packet(), [](const Variant& p) { append(p, 9473); });
}
BENCHMARK(BM_StoreRefusesCostlyOptions)->Unit(benchmark::kMillisecond);

void BM_ClientDataSetSetData(benchmark::State& state) {
  measure_load(state, packet(), [](const Variant& p) {
    TClientDataSet cds;
    cds.SetData(p);
    benchmark::DoNotOptimize(cds.DSBase()->RowCount());
  });
}
BENCHMARK(BM_ClientDataSetSetData)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
