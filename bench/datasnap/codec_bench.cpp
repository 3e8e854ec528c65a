// The message reader and the row codec, each beside a plain copy of the
// same bytes in the same run. Counters: bytes per second, and heap
// allocations per value read or written.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tests/wire/memory_channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace {

std::atomic<std::int64_t> g_allocations{0};

void* counted_alloc(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace wardenix {
namespace {

constexpr std::size_t kMessageBytes = 4 << 20;

// One long reply of mixed tokens: objects, arrays, numbers, literals,
// strings with escapes and Latin-1 bytes, and raw data blocks.
std::string long_message(std::int64_t& tokens) {
  std::string m = R"({"result":[)";
  const std::string raw(200, '\x7B');
  tokens = 0;
  while (m.size() < kMessageBytes) {
    m += R"({"handle":[123456]},{"rows":[-9876543210]},true,false,null,)";
    m += R"("SELECT * FROM GR_VERSAO WHERE NOME = 'Jos\u00e9' AND \"X\" > 1",)";
    m += "\"caf\xE9 cr\xE8me br\xFBl\xE9" "e and a longer plain text run\",";
    m += R"({"data":[200,)" + raw + "]},";
    m += R"({"parameters":[2,[26,0,1,0,0,"Sql",0,0,0],[35,0,4,0,0,"Result",0,0,0]]},)";
    tokens += 60;
  }
  m += "0]}";
  return m;
}

void walk(TDBXJSonStreamReader& reader, std::uint8_t* scratch) {
  reader.NextResultObjectStart();
  int depth = 1;
  while (depth > 0) {
    switch (reader.Next()) {
      case JsonToken::kObjectStart:
      case JsonToken::kArrayStart: ++depth; break;
      case JsonToken::kObjectEnd:
      case JsonToken::kArrayEnd: --depth; break;
      case JsonToken::kNumber: benchmark::DoNotOptimize(reader.ReadLong()); break;
      case JsonToken::kString:
        if (reader.ReadStringBody() == u"data") {
          reader.Next(JsonToken::kNameSeparator);
          reader.Next(JsonToken::kArrayStart);
          const std::int32_t n = reader.ReadInt();
          reader.NextValueSeparator();
          reader.ReadDataBytes(std::span(scratch, static_cast<std::size_t>(n)));
          reader.Next(JsonToken::kArrayEnd);
        }
        break;
      default: break;
    }
  }
}

void BM_MessageReader(benchmark::State& state) {
  std::int64_t tokens = 0;
  const std::string message = long_message(tokens);
  test::MemoryChannel channel(message);
  TDBXContext context;
  std::vector<std::uint8_t> scratch(4096);
  std::int64_t allocations = 0;
  for (auto _ : state) {
    channel.Rewind();
    TDBXJSonStreamReader reader(channel, 32768, context);
    const auto before = g_allocations.load();
    walk(reader, scratch.data());
    allocations += g_allocations.load() - before;
  }
  if (channel.reads < static_cast<int>(kMessageBytes / 32768)) state.SkipWithError("message not read whole");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(message.size()));
  state.counters["allocs_per_token"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * tokens);
}
BENCHMARK(BM_MessageReader)->Unit(benchmark::kMillisecond);

void BM_MessageMemcpy(benchmark::State& state) {
  std::int64_t tokens = 0;
  const std::string message = long_message(tokens);
  std::vector<char> target(message.size());
  for (auto _ : state) {
    std::memcpy(target.data(), message.data(), message.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(message.size()));
}
BENCHMARK(BM_MessageMemcpy)->Unit(benchmark::kMillisecond);

// Rows of mixed values, as a parameter row or a table block carries them.
constexpr int kColumns = 10;
constexpr int kRows = 2000;
const UString kName = u"Jos\u00e9 da Silva Carvalho";
const UString kNote = u"Pedido 4711 entregue";

void write_row(TDBXRowBuffer& row, int i) {
  row.WriteInt32(i);
  row.WriteInt64(std::int64_t{i} * 1'000'003);
  row.WriteDouble(i * 1.25);
  row.WriteBoolean(i % 2 == 0);
  row.WriteNull();
  row.WriteString(kName);
  row.WriteDate(2024, 3, 1 + i % 28);
  row.WriteTime(i * 1000);
  row.WriteSingle(0.5f);
  row.WriteString(kNote);
}

void BM_RowEncode(benchmark::State& state) {
  TDBXRowBuffer row(1 << 22, true, false);
  std::int64_t allocations = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    row.Reset();
    const auto before = g_allocations.load();
    for (int i = 0; i < kRows; ++i) write_row(row, i);
    allocations += g_allocations.load() - before;
    bytes = row.Offset();
    benchmark::DoNotOptimize(row.Written().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["allocs_per_value"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_RowEncode)->Unit(benchmark::kMicrosecond);

std::vector<std::uint8_t> encoded_rows() {
  TDBXRowBuffer row(1 << 22, true, false);
  for (int i = 0; i < kRows; ++i) write_row(row, i);
  return {row.Written().begin(), row.Written().end()};
}

void BM_RowDecode(benchmark::State& state) {
  const std::vector<std::uint8_t> block = encoded_rows();
  TDBXRowBuffer row(1 << 22, true, false);
  std::int64_t allocations = 0;
  for (auto _ : state) {
    row.LoadRow(block);
    row.SetColumnCount(kColumns);
    const auto before = g_allocations.load();
    for (int i = 0; i < kRows; ++i) {
      benchmark::DoNotOptimize(row.ReadInt32(0));
      benchmark::DoNotOptimize(row.ReadInt64(1));
      benchmark::DoNotOptimize(row.ReadDouble(2));
      benchmark::DoNotOptimize(row.ReadBoolean(3));
      benchmark::DoNotOptimize(row.GetNull(4));
      UString name = row.ReadString(5);
      benchmark::DoNotOptimize(name.data());
      int y = 0, m = 0, d = 0;
      row.ReadDate(6, y, m, d);
      benchmark::DoNotOptimize(d);
      benchmark::DoNotOptimize(row.ReadTime(7));
      benchmark::DoNotOptimize(row.ReadSingle(8));
      UString note = row.ReadString(9);
      benchmark::DoNotOptimize(note.data());
      row.NextRow();
    }
    allocations += g_allocations.load() - before;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
  // Two of the ten values are strings handed to the caller.
  state.counters["allocs_per_value"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * kRows * kColumns);
  state.counters["allocs_per_nonstring_value"] =
      static_cast<double>(allocations - state.iterations() * kRows * 2) /
      static_cast<double>(state.iterations() * kRows * (kColumns - 2));
}
BENCHMARK(BM_RowDecode)->Unit(benchmark::kMicrosecond);

void BM_RowMemcpy(benchmark::State& state) {
  const std::vector<std::uint8_t> block = encoded_rows();
  std::vector<std::uint8_t> target(block.size());
  for (auto _ : state) {
    std::memcpy(target.data(), block.data(), block.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_RowMemcpy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wardenix

BENCHMARK_MAIN();
