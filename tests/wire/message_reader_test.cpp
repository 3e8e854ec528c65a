#include "wire/message_reader.h"

#include <gtest/gtest.h>

#include "tests/wire/memory_channel.h"

namespace wardenix {
namespace {

using test::Bytes;
using test::MemoryChannel;

// A reader over fixed input, delivered in pieces of `piece` bytes.
struct ReaderFixture {
  explicit ReaderFixture(std::string input, std::size_t piece = SIZE_MAX,
                         std::int32_t buffer_size = 0)
      : channel(std::move(input), piece), reader(channel, buffer_size, context) {}
  MemoryChannel channel;
  TDBXContext context;
  TDBXJSonStreamReader reader;
};

template <typename F>
TDBXError error_of(F&& f) {
  try {
    f();
  } catch (const TDBXError& e) {
    return e;
  }
  ADD_FAILURE() << "no TDBXError";
  return TDBXError(-1, u"none");
}

TEST(MessageReader, StringEscapesAndLatin1Bytes) {
  const std::pair<std::string, UString> cases[] = {
      {R"("\u20ac")", u"\u20ac"},
      {R"("\u20AC")", u"\u20ac"},
      {R"("a\/b")", u"a/b"},
      {"\"" + Bytes({0xE9}) + "\"", u"\u00e9"},
      {R"("\"\\\b\f\n\r\t")", u"\"\\\b\f\n\r\t"},
      {R"("\q")", u"q"},
      {R"("{\"}")", u"{\"}"},
  };
  for (const auto& [wire, text] : cases) {
    for (std::size_t piece : {SIZE_MAX, std::size_t{1}}) {
      ReaderFixture f(wire + " ", piece);
      EXPECT_EQ(f.reader.ReadString(), text) << wire << " in pieces of " << piece;
    }
  }
}

TEST(MessageReader, TokensAcrossBufferFills) {
  const std::string reply =
      R"( { "result" : [ 12 , -7 , true , false , null , "x" ] , "extra" : {"a":[1,{"}":"]"}]} } )";
  for (std::size_t piece : {SIZE_MAX, std::size_t{1}, std::size_t{3}}) {
    ReaderFixture f(reply, piece);
    f.reader.NextResultObjectStart();
    f.reader.Next(JsonToken::kArrayStart);
    EXPECT_EQ(f.reader.ReadInt(), 12);
    f.reader.NextValueSeparator();
    EXPECT_EQ(f.reader.ReadLong(), -7);
    f.reader.NextValueSeparator();
    EXPECT_TRUE(f.reader.ReadBoolean());
    f.reader.NextValueSeparator();
    EXPECT_FALSE(f.reader.ReadBoolean());
    f.reader.NextValueSeparator();
    EXPECT_EQ(f.reader.Next(), JsonToken::kNull);
    f.reader.NextValueSeparator();
    EXPECT_EQ(f.reader.ReadString(), u"x");
    f.reader.Next(JsonToken::kArrayEnd);
    // The members the caller does not know are stepped over.
    f.reader.SkipToEndOfObject();
    EXPECT_THROW(f.reader.Next(), TDBXError) << "nothing is left";
  }
}

TEST(MessageReader, KeywordCodesAreExactAndCaseSensitive) {
  const std::pair<std::string, JsonKeyword> cases[] = {
      {R"("result")", JsonKeyword::kResult},
      {R"("more_blob")", JsonKeyword::kMoreBlob},
      {R"("vendor_property")", JsonKeyword::kVendorProperty},
      {R"("callback")", JsonKeyword::kCallback},
      {R"("data")", JsonKeyword::kData},
      {R"("Data")", JsonKeyword::kNone},
      {R"("datas")", JsonKeyword::kNone},
      {R"("")", JsonKeyword::kNone},
  };
  for (const auto& [wire, code] : cases) {
    ReaderFixture f(wire);
    EXPECT_EQ(f.reader.ReadStringCode(), code) << wire;
  }
}

TEST(MessageReader, PreludeIsSkippedOrRefused) {
  const std::string reply = R"({"result":[5]})";
  const std::string prelude = Bytes({0xB7, 0, 0, 0, 9, 0, 0, 0, 1});
  const std::string long_prelude = Bytes({0xB7, 0, 0, 0, 12, 0, 0, 0, 3, '{', '}', '"'});
  for (const std::string& input : {reply, prelude + reply, long_prelude + reply}) {
    ReaderFixture f(input, 2);
    EXPECT_EQ(f.reader.ReadIntResultObject(), 5);
  }

  ReaderFixture refused(Bytes({0xB7, 0, 0, 0, 9, 0, 0, 0, 0}) + reply);
  try {
    refused.reader.NextResultObjectStart();
    FAIL() << "no error";
  } catch (const TDBXError&) {
    FAIL() << "a plain error is expected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Server uses unsupported streaming protocol");
  }
}

TEST(MessageReader, ErrorObjectsRaiseTheServersError) {
  struct Case {
    std::string reply;
    std::int32_t code;
    UString message;
  };
  const Case cases[] = {
      {R"({"error":{"name":"EDatabaseError","code":7,"message":"abc"}})", 7, u"abc"},
      {R"({"error":{}})", 2, u"unknown error"},
      {R"({"error":{"message":"x\u00e9","error":{"code":9,"inner":{"}":1}},"code":-3,"n":[1,2]}})",
       -3, u"x\u00e9"},
  };
  for (const Case& c : cases) {
    ReaderFixture f(c.reply + R"( {"result":[1]})", 3);
    int handler_calls = 0;
    f.context.SetOnError([&](const TDBXError& e) {
      ++handler_calls;
      EXPECT_EQ(e.ErrorCode(), c.code);
    });
    const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
    EXPECT_EQ(e.ErrorCode(), c.code);
    EXPECT_EQ(e.Message(), c.message);
    EXPECT_EQ(handler_calls, 1);
    // The stream stays at a message boundary: the next reply reads.
    EXPECT_EQ(f.reader.ReadIntResultObject(), 1);
  }
}

TEST(MessageReader, MalformedInputRaisesWithPositionAndDump) {
  {
    ReaderFixture f(R"({"result" x)");
    const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_EQ(e.Message(),
              u"Expected:  ':' found:  '-+0-9.' at position:  9\n{\"result\" x");
  }
  {
    ReaderFixture f("[tru]");
    f.reader.Next(JsonToken::kArrayStart);
    const TDBXError e = error_of([&] { f.reader.Next(); });
    EXPECT_EQ(e.Message(), u"Expected:  'true at position:  4\n[tru]");
  }
  {
    ReaderFixture f(R"({"resolve":[1]})");
    const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
    EXPECT_EQ(e.Message(), u"Expected:  '\"result\" at position:  9\n{\"resolve\":[1]}");
  }
  {
    ReaderFixture f(R"({"errors":[1]})");
    const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
    EXPECT_EQ(e.Message(), u"Expected:  '\"error\" at position:  8\n{\"errors\":[1]}");
  }
  {
    ReaderFixture f("\n[x]" + Bytes({0x01}));
    f.reader.Next(JsonToken::kArrayStart);
    const TDBXError e = error_of([&] { f.reader.ReadInt(); });
    EXPECT_EQ(e.Message(), u"Unexpected byte at position:  2\n#10[x]#1");
  }
  {
    ReaderFixture f("]");
    const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
    EXPECT_EQ(e.Message(), u"Expected:  '{' found:  ']' at position:  0\n]");
  }
  // An empty array holds no number, and that is no error.
  ReaderFixture empty("[]");
  empty.reader.Next(JsonToken::kArrayStart);
  EXPECT_EQ(empty.reader.ReadInt(), 0);
  EXPECT_EQ(empty.reader.Next(), JsonToken::kArrayEnd);
  EXPECT_EQ(TokenName(JsonToken::kNone), u"Unknown");
}

TEST(MessageReader, ChannelDeliveringNothingIsAReadError) {
  ReaderFixture f(R"({"res)");
  const TDBXError e = error_of([&] { f.reader.NextResultObjectStart(); });
  EXPECT_EQ(e.ErrorCode(), 1);
  EXPECT_EQ(e.Message(), u"Read error");
}

TEST(MessageReader, DataBlocksAreCopiedAcrossFillsAndSkipped) {
  std::string raw;
  for (int i = 0; i < 300; ++i) raw += static_cast<char>(i % 256);
  raw += "}]\"{";  // bytes that look like JSON inside the block
  const std::string block =
      "{\"data\":[" + std::to_string(raw.size()) + "   ," + raw + "]}";
  {
    ReaderFixture f(block, 7, 64);
    f.reader.Next(JsonToken::kObjectStart);
    EXPECT_EQ(f.reader.ReadStringCode(), JsonKeyword::kData);
    f.reader.Next(JsonToken::kNameSeparator);
    f.reader.Next(JsonToken::kArrayStart);
    const std::int32_t count = f.reader.ReadInt();
    ASSERT_EQ(count, static_cast<std::int32_t>(raw.size()));
    f.reader.NextValueSeparator();
    std::vector<std::uint8_t> bytes(raw.size());
    f.reader.ReadDataBytes(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), raw);
    f.reader.Next(JsonToken::kArrayEnd);
    f.reader.Next(JsonToken::kObjectEnd);
  }
  {
    // Skipping a reply whose rest holds raw blocks keeps the stream in step.
    ReaderFixture f(R"({"result":[1,)" + block + R"(,{"data":[0]}]})" + R"({"result":[2]})", 5,
                    64);
    EXPECT_EQ(f.reader.ReadIntResultObject(), 1);
    EXPECT_EQ(f.reader.ReadIntResultObject(), 2);
  }
}

TEST(MessageReader, BlocksAndStringsAboveTheLimitAreRefused) {
  const auto is_refusal = [](const TDBXError& e) {
    return e.ErrorCode() == 2 && e.Message().find(u"more than the 64 bytes") != UString::npos;
  };
  {
    // Only the count is there: the refusal reads nothing behind it.
    ReaderFixture f(R"({"data":[65,)");
    f.reader.SetReplyLimit(64);
    f.reader.Next(JsonToken::kObjectStart);
    f.reader.ReadStringCode();
    f.reader.Next(JsonToken::kNameSeparator);
    f.reader.Next(JsonToken::kArrayStart);
    const auto count = static_cast<std::uint64_t>(f.reader.ReadLong());
    f.reader.NextValueSeparator();
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(is_refusal(error_of([&] { f.reader.ReadDataBytes(bytes, count); })));
    EXPECT_TRUE(bytes.empty());
  }
  {
    ReaderFixture f(std::string(64, 'b'), 5);
    f.reader.SetReplyLimit(64);
    std::vector<std::uint8_t> bytes;
    f.reader.ReadDataBytes(bytes, 64);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(64, 'b'));
  }
  // Strings have no length before them: refused as they grow past it,
  // whether of plain bytes or of escapes.
  std::string escaped;
  for (int i = 0; i < 65; ++i) escaped += "\\u0041";
  const std::pair<std::string, bool> strings[] = {
      {std::string(64, 'a'), false},
      {std::string(65, 'a'), true},
      {escaped, true},
  };
  for (const auto& [body, refused] : strings) {
    ReaderFixture f("\"" + body + "\"", 9);
    f.reader.SetReplyLimit(64);
    if (refused) {
      EXPECT_TRUE(is_refusal(error_of([&] { f.reader.ReadString(); })));
    } else {
      EXPECT_EQ(f.reader.ReadString().size(), body.size());
    }
  }
}

TEST(MessageReader, FillsAreTracedWhenTracing) {
  ReaderFixture f("[\t\"" + Bytes({0xE9}) + "\"]", 4);
  std::vector<UString> lines;
  f.context.SetTraceSink([&](UStringView line) { lines.emplace_back(line); });
  f.reader.Next(JsonToken::kArrayStart);
  f.reader.ReadString();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], u"read 4 bytes:[#9\"#233");
  EXPECT_EQ(lines[1], u"read 2 bytes:\"]");
}

}  // namespace
}  // namespace wardenix
