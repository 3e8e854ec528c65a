// The message reader over arbitrary server bytes, delivered in pieces of a
// size the input chooses: replies, error objects, preludes, skipping and
// raw data blocks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/wire/memory_channel.h"
#include "wire/message_reader.h"

using namespace wardenix;

namespace {

void walk(TDBXJSonStreamReader& reader, std::uint8_t style) {
  std::vector<std::uint8_t> data;
  for (int step = 0; step < 4096; ++step) {
    switch (reader.Next()) {
      case JsonToken::kString: {
        reader.ReadStringBody();
        if (reader.LastString() == u"data" && (style & 1)) {
          reader.Next(JsonToken::kNameSeparator);
          reader.Next(JsonToken::kArrayStart);
          const std::int64_t count = reader.ReadLong();
          reader.NextValueSeparator();
          data.clear();
          reader.ReadDataBytes(data, count < 0 ? 0 - static_cast<std::uint64_t>(count)
                                              : static_cast<std::uint64_t>(count));
        }
        break;
      }
      case JsonToken::kNumber:
        if (style & 2) reader.ReadInt(); else reader.ReadLong();
        break;
      case JsonToken::kObjectStart:
        if (step % 5 == 4) reader.SkipToEndOfObject();
        break;
      case JsonToken::kArrayStart:
        if (step % 7 == 6) reader.SkipToEndOfArray();
        break;
      default:
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = data[0] % 64 + 1;
  const std::uint8_t style = data[1];
  test::MemoryChannel channel(std::string(reinterpret_cast<const char*>(data + 2), size - 2), piece);
  TDBXContext context;
  TDBXJSonStreamReader reader(channel, 64 + (style >> 2) * 16, context);
  for (int reply = 0; reply < 8; ++reply) {
    try {
      if (style & 4) {
        reader.ReadIntResultObject();
      } else {
        reader.NextResultObjectStart();
        walk(reader, style);
      }
    } catch (const Exception&) {
      if (channel.reads > 100000) break;
    }
  }
  return 0;
}
