#include "wire/message_writer.h"

#include <gtest/gtest.h>

#include "tests/wire/memory_channel.h"
#include "wire/message_fragments.h"
#include "wire/message_reader.h"

namespace wardenix {
namespace {

using test::Bytes;
using test::MemoryChannel;

std::string written_string(UStringView text) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.WriteString(text);
  writer.Flush();
  return channel.Written();
}

UString read_back(const std::string& wire) {
  MemoryChannel channel(wire);
  TDBXContext context;
  TDBXJSonStreamReader reader(channel, 0, context);
  return reader.ReadString();
}

struct StringCase {
  UString text;
  std::string wire;
};

TEST(MessageWriter, StringsAreEscapedByteForByteAndReadBack) {
  const StringCase cases[] = {
      {u"caf\u00e9", "\"caf" + Bytes({0xE9}) + "\""},
      {u"\u20ac", Bytes({'"', 0x5C, 0x75, 0x32, 0x30, 0x41, 0x43, '"'})},
      {u"a\nb", "\"a" + Bytes({0x5C, 0x6E}) + "b\""},
      {u"a\tb", "\"a" + Bytes({0x5C, 0x74}) + "b\""},
      {u"\b\f\r", R"("\b\f\r")"},
      {u"say \"hi\" \\ /", R"("say \"hi\" \\ /")"},
      {UString(1, u'\x01'), R"("\u0001")"},
      {UString(1, u'\x1f') + u"\u00ff" + u" ~", "\"\\u001F" + Bytes({0xFF}) + " ~\""},
      {u"\u0100", R"("\u0100")"},
      {u"\U0001F600", R"("\uD83D\uDE00")"},
      {u"", R"("")"},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(to_utf8(c.text));
    const std::string wire = written_string(c.text);
    EXPECT_EQ(wire, c.wire);
    EXPECT_EQ(read_back(wire), c.text);
  }
}

TEST(MessageWriter, IntegersAndLiteralsRoundTrip) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0"},
      {5, "5"},
      {300, "300"},
      {-5, "-5"},
      {-2147483648LL, "-2147483648"},
      {2147483647, "2147483647"},
      {INT64_MIN, "-9223372036854775808"},
      {INT64_MAX, "9223372036854775807"},
  };
  for (const auto& [value, text] : cases) {
    MemoryChannel channel;
    TDBXJSonStreamWriter writer(channel, 0);
    writer.WriteLong(value);
    writer.WriteValueSeparator();
    writer.Flush();
    EXPECT_EQ(channel.Written(), text + ",");

    MemoryChannel in(text + ",");
    TDBXContext context;
    TDBXJSonStreamReader reader(in, 0, context);
    EXPECT_EQ(reader.ReadLong(), value);
    if (value >= INT32_MIN && value <= INT32_MAX) {
      MemoryChannel in32(text + ",");
      TDBXJSonStreamReader reader32(in32, 0, context);
      EXPECT_EQ(reader32.ReadInt(), value);
    }
  }

  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.WriteArrayStart();
  writer.WriteBoolean(true);
  writer.WriteValueSeparator();
  writer.WriteBoolean(false);
  writer.WriteValueSeparator();
  writer.WriteNull();
  writer.WriteDouble(1.5);  // never written
  writer.WriteArrayEnd();
  writer.Flush();
  EXPECT_EQ(channel.Written(), "[true,false,null]");

  MemoryChannel in(channel.Written());
  TDBXContext context;
  TDBXJSonStreamReader reader(in, 0, context);
  reader.Next(JsonToken::kArrayStart);
  EXPECT_TRUE(reader.ReadBoolean());
  reader.NextValueSeparator();
  EXPECT_FALSE(reader.ReadBoolean());
  reader.NextValueSeparator();
  EXPECT_EQ(reader.Next(), JsonToken::kNull);
  EXPECT_EQ(reader.Next(), JsonToken::kArrayEnd);
}

TEST(MessageWriter, ConnectRequestIsAssembledFromFragments) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.WriteFragment(fragment::kMethod);
  writer.WriteFragment(fragment::kConnect);
  writer.WriteFragment(fragment::kParams);
  writer.WriteObjectStart();
  writer.WriteNamedString(u"Port", u"3063");
  writer.WriteValueSeparator();
  writer.WriteNamedString(u"Quote", u"a\"b\\c\u20ac");
  writer.WriteObjectEnd();
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  EXPECT_TRUE(channel.writes.empty()) << "nothing leaves before Flush";
  writer.Flush();
  ASSERT_EQ(channel.writes.size(), 1u);
  EXPECT_EQ(channel.writes[0],
            R"({"method":"connect","params":[{"Port":"3063","Quote":"a\"b\\c\u20AC"}]})");
}

TEST(MessageWriter, LargeMessageLeavesInBufferSizedWritesAndTheRest) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 100);
  const std::string payload(250, 'x');
  writer.WriteFragment(payload);
  // A full buffer waits until the next byte needs the room.
  writer.WriteString(u"abcdefgh");
  ASSERT_EQ(channel.writes.size(), 2u);
  EXPECT_EQ(channel.writes[0].size(), 100u);
  EXPECT_EQ(channel.writes[1].size(), 100u);
  writer.Flush();
  ASSERT_EQ(channel.writes.size(), 3u);
  EXPECT_EQ(channel.writes[2].size(), 50u + 10u);
  EXPECT_EQ(channel.Written(), payload + "\"abcdefgh\"");

  // A string whose escapes straddle the buffer's end comes out whole.
  MemoryChannel straddle;
  TDBXJSonStreamWriter small(straddle, 64);
  UString text;
  for (int i = 0; i < 40; ++i) text += u"\u20ac\u00e9\n";
  small.WriteString(text);
  small.Flush();
  EXPECT_EQ(read_back(straddle.Written()), text);
}

TEST(MessageWriter, EmptyFlushSendsNothing) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.Flush();
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_EQ(writer.BufferSize(), 8192u);
  writer.WriteObjectStart();
  writer.Flush();
  writer.Flush();
  EXPECT_EQ(channel.writes.size(), 1u);
}

TEST(MessageWriter, DataBlockAndStreamChunks) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.WriteDataBlock(std::vector<std::uint8_t>{0x37, 0x00, 0xC0});
  writer.Flush();
  EXPECT_EQ(channel.Written(), "{\"data\":[3," + Bytes({0x37, 0x00, 0xC0}) + "]}");

  struct ChunkCase {
    std::size_t source_size;
    std::string count_field;
  };
  // 100 bytes that are all there is: the last chunk, negative.
  const ChunkCase cases[] = {{100, "-100     "}, {0, "0        "}};
  {
    // A buffer with room for exactly 100 bytes of a longer source: more follow.
    MemoryChannel out;
    TDBXJSonStreamWriter chunk_writer(out, 121);
    MemoryByteSource source(std::vector<std::uint8_t>(150, 'y'));
    EXPECT_EQ(chunk_writer.WriteStreamChunk(source), 100u);
    EXPECT_EQ(out.writes.at(0), "{\"data\":[100      ," + std::string(100, 'y') + "]}");
  }
  for (const ChunkCase& c : cases) {
    MemoryChannel out;
    TDBXJSonStreamWriter chunk_writer(out, 0);
    MemoryByteSource source(std::vector<std::uint8_t>(c.source_size, 'z'));
    EXPECT_EQ(chunk_writer.WriteStreamChunk(source), c.source_size);
    ASSERT_EQ(out.writes.size(), 1u) << "a chunk ends with a flush";
    EXPECT_EQ(out.writes[0],
              "{\"data\":[" + c.count_field + "," + std::string(c.source_size, 'z') + "]}");
  }
}

TEST(MessageWriter, StreamChunksAreBoundByTheBufferAndReadBack) {
  MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 100);
  writer.WriteFragment(R"({"result":[)");
  std::vector<std::uint8_t> content(200);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i);
  MemoryByteSource source(content);
  // Room behind the opening: 100 - 11 - 9 ("{"data":[") - 13 + 1.
  EXPECT_EQ(writer.WriteStreamChunk(source), 68u);
  EXPECT_EQ(channel.writes[0].substr(11, 19), "{\"data\":[68       ,");
  std::size_t total = 68;
  while (!source.AtEnd()) total += writer.WriteStreamChunk(source);
  EXPECT_EQ(total, 200u);

  MemoryChannel in(channel.Written());
  TDBXContext context;
  TDBXJSonStreamReader reader(in, 0, context);
  reader.NextResultObjectStart();
  reader.Next(JsonToken::kArrayStart);
  std::vector<std::uint8_t> received;
  for (bool more = true; more;) {
    reader.Next(JsonToken::kObjectStart);
    EXPECT_EQ(reader.ReadStringCode(), JsonKeyword::kData);
    reader.Next(JsonToken::kNameSeparator);
    reader.Next(JsonToken::kArrayStart);
    const std::int32_t count = reader.ReadInt();
    reader.NextValueSeparator();
    reader.ReadDataBytes(received, static_cast<std::uint64_t>(count < 0 ? -count : count));
    reader.Next(JsonToken::kArrayEnd);
    reader.Next(JsonToken::kObjectEnd);
    more = count > 0;
  }
  EXPECT_EQ(received, content);
}

}  // namespace
}  // namespace wardenix
