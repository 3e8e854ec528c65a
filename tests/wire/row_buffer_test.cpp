#include "wire/row_buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>

#include "runtime/datetime.h"
#include "runtime/errors.h"
#include "tests/wire/memory_channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"

namespace wardenix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
  return b;
}

Bytes ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes written(const std::function<void(TDBXRowBuffer&)>& write) {
  TDBXRowBuffer row(0, true, true);
  write(row);
  return Bytes(row.Written().begin(), row.Written().end());
}

TDBXRowBuffer loaded(const Bytes& bytes, std::int32_t columns = 1) {
  TDBXRowBuffer row(0, true, true);
  row.LoadRow(bytes);
  row.SetColumnCount(columns);
  return row;
}

TEST(RowValues, IntegersByteForByte) {
  const std::pair<std::int64_t, Bytes> cases[] = {
      {0, bytes_of({0x60})},
      {5, bytes_of({0x61, 0x05})},
      {300, bytes_of({0x62, 0x01, 0x2C})},
      {-5, bytes_of({0x21, 0x05})},
      {-2147483648LL, bytes_of({0x24, 0x80, 0x00, 0x00, 0x00})},
      {2147483647, bytes_of({0x64, 0x7F, 0xFF, 0xFF, 0xFF})},
      {INT64_MIN, bytes_of({0x28, 0x80, 0, 0, 0, 0, 0, 0, 0})},
      {INT64_MAX, bytes_of({0x68, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const auto& [value, encoded] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(written([&](TDBXRowBuffer& r) { r.WriteInt64(value); }), encoded);
    EXPECT_EQ(loaded(encoded).ReadInt64(0), value);
    if (value >= INT32_MIN && value <= INT32_MAX) {
      const auto v32 = static_cast<std::int32_t>(value);
      EXPECT_EQ(written([&](TDBXRowBuffer& r) { r.WriteInt32(v32); }), encoded);
      EXPECT_EQ(loaded(encoded).ReadInt32(0), v32);
    }
  }
  // The two's-complement form is taken as it stands.
  EXPECT_EQ(loaded(bytes_of({0x24, 0xFF, 0xFF, 0xFF, 0xFB})).ReadInt32(0), -5);
}

TEST(RowValues, FloatsBooleansNullAndSmallKinds) {
  const std::pair<double, Bytes> doubles[] = {
      {2.0, bytes_of({0x61, 0x40})},
      {1.5, bytes_of({0x62, 0x3F, 0xF8})},
      {-1.0, bytes_of({0x22, 0xBF, 0xF0})},
      {0.0, bytes_of({0x60})},
      {-0.0, bytes_of({0x21, 0x80})},
      {1e300, bytes_of({0x68, 0x7E, 0x37, 0xE4, 0x3C, 0x88, 0x00, 0x75, 0x9C})},
  };
  for (const auto& [value, encoded] : doubles) {
    SCOPED_TRACE(value);
    EXPECT_EQ(written([&](TDBXRowBuffer& r) { r.WriteDouble(value); }), encoded);
    const double back = loaded(encoded).ReadDouble(0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value));
  }
  EXPECT_EQ(written([](TDBXRowBuffer& r) { r.WriteSingle(1.5f); }), bytes_of({0x62, 0x3F, 0xC0}));
  EXPECT_EQ(loaded(bytes_of({0x62, 0x3F, 0xC0})).ReadSingle(0), 1.5f);
  EXPECT_EQ(loaded(bytes_of({0x22, 0xBF, 0x80})).ReadSingle(0), -1.0f);

  EXPECT_EQ(written([](TDBXRowBuffer& r) {
              r.WriteBoolean(true);
              r.WriteBoolean(false);
              r.WriteNull();
              r.WriteCallback(true);
              r.WriteCallback(false);
              r.WriteJson("{}");
              r.WriteDate(2024, 3, 15);
            }),
            bytes_of({0x60, 0x20, 0xC0, 0x02, 0xC0, 0x40, 0, 0, 0, 2, '{', '}', 0x63, 0x0F, 0xD0,
                      0x6F}));
  TDBXRowBuffer row = loaded(
      bytes_of({0x60, 0x20, 0xC0, 0x02, 0x40, 0, 0, 0, 2, '{', '}', 0x63, 0x0F, 0xD0, 0x6F, 0xC0}));
  EXPECT_TRUE(row.ReadBoolean(0));
  EXPECT_FALSE(row.ReadBoolean(1));
  EXPECT_TRUE(row.GetNull(2));
  EXPECT_FALSE(row.GetNull(3));
  EXPECT_EQ(row.ReadJson(4), std::optional<std::string>("{}"));
  int y = 0, m = 0, d = 0;
  row.ReadDate(5, y, m, d);
  EXPECT_EQ(std::tie(y, m, d), std::make_tuple(2024, 3, 15));
  EXPECT_EQ(row.ReadJson(6), std::nullopt);

  EXPECT_EQ(written([](TDBXRowBuffer& r) { r.WriteTime(45296789); }),
            bytes_of({0x64, 0x02, 0xB3, 0x2C, 0x95}));
  EXPECT_EQ(loaded(bytes_of({0x64, 0x02, 0xB3, 0x2C, 0x95})).ReadTime(0), 45296789);
}

TEST(RowValues, StringsByteForByte) {
  const UString select = u"SELECT * FROM GR_VERSAO";
  const UString forty(40, u'x');
  struct Case {
    UString text;
    Bytes encoded;
  };
  const Case cases[] = {
      {select, concat({bytes_of({0x37}), ascii("SELECT * FROM GR_VERSAO")})},
      {forty, concat({bytes_of({0x10, 0x00, 0x28}), ascii(std::string(40, 'x'))})},
      {u"ab\u20acc", bytes_of({0x27, 'a', 'b', 0xFF, 0x20, 0xAC, 0x00, 'c'})},
      {u"\u00e9\u00fe\u00ff", bytes_of({0x25, 0xE9, 0xFE, 0xFF, 0x00, 0xFF})},
      {u"", bytes_of({0x20})},
      {u"12.50", concat({bytes_of({0x25}), ascii("12.50")})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(to_utf8(c.text));
    EXPECT_EQ(written([&](TDBXRowBuffer& r) { EXPECT_EQ(r.WriteString(c.text), nullptr); }),
              c.encoded);
    EXPECT_EQ(loaded(c.encoded).ReadString(0), c.text);
  }
  // The probe's parameter row: the SQL text and the unset return value.
  const Bytes probe = written([&](TDBXRowBuffer& r) {
    r.WriteString(select);
    r.WriteNull();
  });
  EXPECT_EQ(probe.size(), 25u);
  EXPECT_EQ(probe.back(), 0xC0);
}

TEST(RowValues, MinimumSizeAndGrowth) {
  EXPECT_EQ(TDBXRowBuffer(32768, true, true).MinimumSize(), 30720u);
  EXPECT_EQ(TDBXRowBuffer(4096, true, true).MinimumSize(), 2048u);
  EXPECT_EQ(TDBXRowBuffer(3000, true, true).MinimumSize(), 3000u);
  EXPECT_EQ(TDBXRowBuffer(0, true, true).MinimumSize(), 6144u);

  TDBXRowBuffer row(4096, true, true);
  for (int i = 0; i < 2047; ++i) row.WriteBoolean(true);
  EXPECT_EQ(row.Capacity(), 2048u);
  row.WriteInt32(300);  // needs 3 bytes where 1 is free
  EXPECT_EQ(row.Capacity(), 2050u) << "grows by exactly the missing amount";
  row.Reset();
  EXPECT_EQ(row.Offset(), 0u);
}

TEST(RowValues, TextBeyondTheInlineCapacityLeavesItsRest) {
  TDBXRowBuffer row(8192, true, true);  // minimum size 6144
  const UString text(7000, u'a');
  auto rest = row.WriteString(text);
  ASSERT_NE(rest, nullptr);
  const std::size_t capacity = 6144 - 3;
  EXPECT_EQ(row.Offset(), 3 + capacity);
  EXPECT_EQ(row.Written()[0], 0x50);
  EXPECT_EQ(row.Written()[1] * 256 + row.Written()[2], static_cast<int>(capacity));
  EXPECT_EQ(ReadAll(*rest).size(), 7000 - capacity);

  // Near the end of the minimum size the capacity is the inline limit.
  auto tail = row.WriteString(UString(1500, u'\u20ac'));
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(row.Written()[3 + capacity + 1] * 256 + row.Written()[3 + capacity + 2], 1024);
  EXPECT_EQ(ReadAll(*tail).size(), 1 + 2 * 1500 - 1024);
}

TEST(RowValues, BytesAndStreams) {
  MemoryByteSource empty({});
  EXPECT_EQ(written([&](TDBXRowBuffer& r) { EXPECT_EQ(r.WriteBytes(empty), 0u); }), bytes_of({0x20}));

  MemoryByteSource small(bytes_of({1, 2, 3}));
  EXPECT_EQ(written([&](TDBXRowBuffer& r) { EXPECT_EQ(r.WriteBytes(small), 3u); }),
            bytes_of({0x10, 0x00, 0x03, 1, 2, 3}));
  auto back = loaded(bytes_of({0x10, 0x00, 0x03, 1, 2, 3})).ReadBytes(0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(ReadAll(*back), bytes_of({1, 2, 3}));

  TDBXRowBuffer row(4096, true, true);  // minimum size 2048
  for (int i = 0; i < 1500; ++i) row.WriteNull();
  MemoryByteSource large(Bytes(5000, 7));
  EXPECT_EQ(row.WriteBytes(large), 1024u);
  EXPECT_EQ(row.Written()[1500], 0x50) << "more of the source follows";
  EXPECT_FALSE(large.AtEnd());
}

TEST(RowValues, TimestampsFollowTheTimeZoneRules) {
  const TSQLTimeStamp stamps[] = {
      {2024, 7, 1, 12, 0, 0, 250}, {2024, 1, 15, 8, 30, 15, 0}, {1999, 12, 31, 23, 59, 59, 999},
      {1950, 6, 1, 0, 0, 0, 1},    {2038, 2, 1, 4, 5, 6, 7},
  };
  for (const TSQLTimeStamp& stamp : stamps) {
    SCOPED_TRACE(stamp.year);
    const Bytes encoded = written([&](TDBXRowBuffer& r) { r.WriteTimestamp(stamp); });
    ASSERT_GE(encoded.size(), 2u);
    EXPECT_EQ(encoded[0], 0x20 + encoded.size() - 1) << "the header counts every byte after it";
    EXPECT_EQ(loaded(encoded).ReadTimestamp(0), stamp);
    // The UTC millisecond count names the same local time as the C library says.
    TDBXRowBuffer inner = loaded(Bytes(encoded.begin() + 1, encoded.end()));
    const std::int64_t ms = inner.ReadInt64(0);
    // (The C library's range on the 32-bit Windows build ends in 2038.)
    if (stamp.year >= 1970 && stamp.year < 2038) {
      EXPECT_EQ(local_parts_from_unix(ms / 1000, 0),
                (DateTimeParts{stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                               stamp.second, 0}));
    }
    EXPECT_EQ(ms % 1000, 0);
  }
}

#ifndef _WIN32
TEST(RowValues, TimestampsInAZoneWithDaylightSaving) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  const Bytes summer = written([](TDBXRowBuffer& r) { r.WriteTimestamp({2024, 7, 1, 12, 0, 0, 250}); });
  const Bytes winter = written([](TDBXRowBuffer& r) { r.WriteTimestamp({2024, 1, 15, 8, 30, 15, 0}); });
  const TSQLTimeStamp summer_back = loaded(summer).ReadTimestamp(0);
  if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(summer, bytes_of({0x2B, 0x66, 0x01, 0x90, 0x6D, 0xBC, 0xAD, 0x00, 0x0E, 0xE6, 0xB2, 0x80}));
  EXPECT_EQ(winter, bytes_of({0x27, 0x66, 0x01, 0x8D, 0x0C, 0x07, 0x33, 0x58}));
  EXPECT_EQ(summer_back, (TSQLTimeStamp{2024, 7, 1, 12, 0, 0, 250}));
}
#endif

TEST(RowReading, HeadersLeadFromValueToValue) {
  TDBXRowBuffer row(0, true, true);
  row.WriteInt32(-300);
  row.WriteString(u"abc");
  row.WriteNull();
  row.WriteString(UString(40, u'q'));
  row.WriteDouble(1.5);
  row.WriteJson("[1]");
  row.WriteCallback(true);
  MemoryByteSource stream(Bytes(70, 1));
  row.WriteBytes(stream);
  row.WriteTimestamp({2020, 2, 29, 1, 2, 3, 4});
  row.WriteBoolean(true);
  const Bytes bytes(row.Written().begin(), row.Written().end());

  TDBXRowBuffer reader = loaded(bytes, 10);
  // Backwards, forwards and skipping: every value is found by its ordinal.
  EXPECT_TRUE(reader.ReadBoolean(9));
  EXPECT_EQ(reader.ReadInt32(0), -300);
  EXPECT_EQ(reader.ReadDouble(4), 1.5);
  EXPECT_EQ(reader.ReadString(1), u"abc");
  EXPECT_TRUE(reader.GetNull(2));
  EXPECT_EQ(reader.ReadString(3), UString(40, u'q'));
  EXPECT_EQ(reader.ReadJson(5), std::optional<std::string>("[1]"));
  EXPECT_EQ(ReadAll(*reader.ReadBytes(7)), Bytes(70, 1));
  EXPECT_EQ(reader.ReadTimestamp(8), (TSQLTimeStamp{2020, 2, 29, 1, 2, 3, 4}));
  EXPECT_FALSE(reader.NextRow()) << "the block holds one row";
}

TEST(RowReading, TableRowsOneAfterAnother) {
  TDBXRowBuffer rows(0, true, false);
  for (int i = 0; i < 3; ++i) {
    rows.WriteInt32(i);
    rows.WriteString(u"row" + to_ustring(i));
  }
  const Bytes bytes(rows.Written().begin(), rows.Written().end());
  TDBXRowBuffer reader(0, true, false);
  reader.LoadRow(bytes);
  reader.SetColumnCount(2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(reader.RowNumber(), i);
    EXPECT_EQ(reader.ReadString(1), u"row" + to_ustring(i));  // after the first column
    EXPECT_EQ(reader.ReadInt32(0), i);
    EXPECT_EQ(reader.NextRow(), i < 2);
  }
}

TEST(RowReading, MalformedRowsRaise) {
  struct Case {
    Bytes row;
    std::function<void(TDBXRowBuffer&)> read;
    std::int32_t code;
    UString message;
  };
  const Case cases[] = {
      {bytes_of({0x01}), [](TDBXRowBuffer& r) { r.ReadString(0); }, 0, u"Unexpected header"},
      {bytes_of({0x00, 'a', 0}), [](TDBXRowBuffer& r) { r.ReadString(0); }, 0, u"Unexpected header"},
      {bytes_of({0x10, 0x00, 0x01, 'a'}), [](TDBXRowBuffer& r) { r.ReadInt32(0); }, 0, u"Unexpected header"},
      {bytes_of({0x64, 1, 2}), [](TDBXRowBuffer& r) { r.ReadInt32(0); }, 0, u"Row data ends inside a value"},
      {bytes_of({0x60, 0x4F, 0xFF, 0xFF, 0xFF, 0xFF}), [](TDBXRowBuffer& r) { r.ReadInt32(1); }, 0,
       u"Row data ends inside a value"},
      {bytes_of({0x61, 1}), [](TDBXRowBuffer& r) { r.ReadJson(0); }, 0,
       u"Invalid JSON header byte encountered"},
      {bytes_of({0x6A, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9}), [](TDBXRowBuffer& r) { r.ReadBcdBinary(0); }, 14,
       u"BCD to big"},
  };
  for (const Case& c : cases) {
    TDBXRowBuffer row = loaded(c.row, 2);
    try {
      c.read(row);
      ADD_FAILURE() << to_utf8(c.message);
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(loaded(bytes_of({0x63, 2, 0x30, 0x39})).ReadBcdBinary(0), u"123.45");
  EXPECT_EQ(loaded(bytes_of({0x23, 3, 0x00, 0x05})).ReadBcdBinary(0), u"-0.005");
}

TEST(RowReading, RowsCutOneByteShortAreRefused) {
  // Each value whole in a row, then the same row one byte short. The row is
  // held in a block of exactly its size (a buffer whose minimum is 1 byte
  // takes a larger row in a block of its own), so that a read past its end
  // is an over-read that AddressSanitizer reports.
  using Read = std::function<void(TDBXRowBuffer&)>;
  const Read string = [](TDBXRowBuffer& r) { r.ReadString(1); };
  const Read bytes = [](TDBXRowBuffer& r) { r.ReadBytes(1); };
  struct CutCase {
    const char* name;
    Bytes value;
    Read read;
  };
  const CutCase cases[] = {
      {"integer", bytes_of({0x64, 0x7F, 0xFF, 0xFF, 0xFF}), [](TDBXRowBuffer& r) { r.ReadInt32(1); }},
      {"int64", bytes_of({0x68, 1, 2, 3, 4, 5, 6, 7, 8}), [](TDBXRowBuffer& r) { r.ReadInt64(1); }},
      {"double", bytes_of({0x62, 0x3F, 0xF8}), [](TDBXRowBuffer& r) { r.ReadDouble(1); }},
      {"timestamp", bytes_of({0x27, 0x66, 0x01, 0x8D, 0x0C, 0x07, 0x33, 0x58}),
       [](TDBXRowBuffer& r) { r.ReadTimestamp(1); }},
      {"bcd", bytes_of({0x63, 2, 0x30, 0x39}), [](TDBXRowBuffer& r) { r.ReadBcdBinary(1); }},
      {"short text", concat({bytes_of({0x23}), ascii("abc")}), string},
      {"text with a 16-bit length", concat({bytes_of({0x10, 0x00, 0x28}), ascii(std::string(40, 'x'))}),
       string},
      {"first part of a text", concat({bytes_of({0x50, 0x00, 0x03}), ascii("abc")}), string},
      {"json block", concat({bytes_of({0x40, 0, 0, 0, 2}), ascii("{}")}),
       [](TDBXRowBuffer& r) { r.ReadJson(1); }},
      {"blob reference", bytes_of({0x08, 0, 0, 0, 9}), bytes},
      {"blob reference with a first part", bytes_of({0x0C, 0, 0, 0, 9, 0x22, 'a', 'b'}), bytes},
      {"stream", bytes_of({0x10, 0x00, 0x03, 1, 2, 3}), bytes},
  };
  const Bytes first = bytes_of({0x61, 0x05});  // skipped by its header to reach ordinal 1
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes whole = concat({first, c.value});
    TDBXRowBuffer row(1, true, true);
    row.SetBlobRequest([](const BlobKey&, Bytes&) { return false; });
    row.LoadRow(whole);
    ASSERT_EQ(row.Capacity(), whole.size());
    EXPECT_NO_THROW(c.read(row));

    const Bytes cut(whole.begin(), whole.end() - 1);
    TDBXRowBuffer short_row(1, true, true);
    short_row.LoadRow(cut);
    ASSERT_EQ(short_row.Capacity(), cut.size());
    try {
      c.read(short_row);
      ADD_FAILURE() << "read a value the row does not hold";
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), 0);
      EXPECT_EQ(e.Message(), u"Row data ends inside a value");
    }
  }

  // A table whose last row is cut: stepping past it by headers refuses too.
  const Bytes rows = bytes_of({0x61, 1, 0x61, 2, 0x61, 3, 0x62, 1});
  TDBXRowBuffer table(1, true, false);
  table.LoadRow(rows);
  table.SetColumnCount(2);
  EXPECT_TRUE(table.NextRow());
  EXPECT_EQ(table.ReadInt32(0), 3);
  EXPECT_THROW(table.NextRow(), TDBXError);
}

TEST(BlobReader, PullsTheRestThroughTheRequest) {
  // A string whose first part came inline (header 50) and a blob reference
  // (08) whose bytes all come through the request.
  const Bytes row_bytes = concat({bytes_of({0x60, 0x50, 0x00, 0x03}), ascii("abc"),
                                  bytes_of({0x08, 0x00, 0x00, 0x00, 0x04})});
  TDBXRowBuffer row(0, true, true);
  row.LoadRow(row_bytes);
  row.SetCommandHandle(17);
  row.SetRowHandle(3);
  std::vector<BlobKey> asked;
  std::vector<Bytes> chunks = {ascii("de"), ascii("f"), ascii("WXYZ")};
  row.SetBlobRequest([&](const BlobKey& key, Bytes& into) {
    asked.push_back(key);
    const Bytes chunk = chunks.front();
    chunks.erase(chunks.begin());
    into.insert(into.end(), chunk.begin(), chunk.end());
    return key.ordinal == 1 && chunks.size() == 2;  // "de" has a follower
  });
  EXPECT_EQ(row.ReadString(1), u"abcdef");
  auto blob = row.ReadBytes(2);
  ASSERT_NE(blob, nullptr);
  std::uint8_t two[2];
  EXPECT_EQ(blob->Read(two), 2u);
  EXPECT_FALSE(blob->AtEnd()) << "the rest of the chunk stays buffered";
  EXPECT_EQ(ReadAll(*blob), ascii("YZ"));
  EXPECT_TRUE(blob->AtEnd());
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].command_handle, 17);
  EXPECT_EQ(asked[0].blob_handle, 1);
  EXPECT_EQ(asked[0].row, 0);
  EXPECT_EQ(asked[0].ordinal, 1);
  EXPECT_TRUE(asked[0].parameter_row);
  EXPECT_EQ(asked[0].row_handle, 3);
  EXPECT_EQ(asked[2].blob_handle, 2);
  EXPECT_EQ(asked[2].ordinal, 2);
  EXPECT_EQ(dynamic_cast<TDBXRowBlobStreamReader&>(*blob).KnownSize(), 4);
}

TEST(BlobReader, RefusesAfterTheCommandClosedOrRanAgain) {
  TDBXRowBuffer row(0, true, true);
  row.LoadRow(bytes_of({0x08, 0, 0, 0, 9}));
  row.SetBlobRequest([](const BlobKey&, Bytes& into) {
    into.push_back(1);
    return true;
  });
  auto blob = row.ReadBytes(0);
  std::uint8_t one[1];
  EXPECT_EQ(blob->Read(one), 1u);
  row.InvalidateBlobs();
  try {
    blob->Read(one);
    FAIL() << "read after the command was closed";
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 4);
    EXPECT_EQ(e.Message(), u"Command closed or executed again");
  }
  EXPECT_EQ(row.CommandHandle(), -1);
}

TEST(BlobReader, AValueAboveTheLimitIsRefused) {
  constexpr std::uint64_t kLimit = 10;
  const auto refused = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const TDBXError& e) {
      return e.ErrorCode() == 2 && e.Message().find(u"too large") != UString::npos;
    }
    return false;
  };
  // A blob reference says its size: above the limit nothing is asked for.
  for (const int size : {10, 11}) {
    SCOPED_TRACE(size);
    TDBXRowBuffer row(0, true, true);
    row.SetReplyLimit(kLimit);
    row.LoadRow(bytes_of({0x08, 0, 0, 0, size}));
    int asked = 0;
    row.SetBlobRequest([&](const BlobKey&, Bytes& into) {
      ++asked;
      into.assign(static_cast<std::size_t>(size), 7);
      return false;
    });
    if (size > static_cast<int>(kLimit)) {
      EXPECT_TRUE(refused([&] { row.ReadBytes(0); }));
      EXPECT_EQ(asked, 0);
    } else {
      EXPECT_EQ(ReadAll(*row.ReadBytes(0)), Bytes(10, 7));
    }
  }
  // A value in parts (header 50) is refused once its parts pass the limit.
  for (const std::size_t last : {4u, 5u}) {
    SCOPED_TRACE(last);
    TDBXRowBuffer row(0, true, true);
    row.SetReplyLimit(kLimit);
    row.LoadRow(concat({bytes_of({0x50, 0x00, 0x03}), ascii("abc")}));
    std::vector<Bytes> chunks = {ascii("def"), Bytes(last, 'g')};
    row.SetBlobRequest([&](const BlobKey&, Bytes& into) {
      into = chunks.front();
      chunks.erase(chunks.begin());
      return !chunks.empty();
    });
    if (3 + 3 + last > kLimit) {
      EXPECT_TRUE(refused([&] { row.ReadString(0); }));
    } else {
      EXPECT_EQ(row.ReadString(0), u"abcdefgggg");
    }
  }
}

// Reads `{"data":[COUNT,` and returns COUNT: the block's bytes come next.
std::int32_t enter_data_block(TDBXJSonStreamReader& reader) {
  reader.Next(JsonToken::kObjectStart);
  reader.ReadStringCode();
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int32_t count = reader.ReadInt();
  reader.NextValueSeparator();
  return count;
}

TEST(RowTransfer, ABlockAboveTheLimitIsRefusedBeforeItIsRead) {
  // The channel holds the count and nothing after it: reading the block
  // would end in a read error, refusing it does not.
  test::MemoryChannel in("{\"data\":[65,");
  TDBXContext context;
  TDBXJSonStreamReader reader(in, 0, context);
  const std::int32_t count = enter_data_block(reader);
  TDBXRowBuffer row(0, true, true);
  row.SetReplyLimit(64);
  try {
    row.LoadRow(reader, static_cast<std::uint64_t>(count));
    ADD_FAILURE() << "block taken in";
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_EQ(e.Message(),
              u"The server's reply is too large: 65 bytes, more than the 64 bytes this client takes in");
  }
  EXPECT_EQ(row.ReadSize(), 0u);

  // At the limit, and larger than the row's own buffer: held in a block of
  // exactly its size.
  const Bytes big(64, 0xC0);
  test::MemoryChannel whole(std::string(big.begin(), big.end()), 7);
  TDBXJSonStreamReader at_limit(whole, 0, context);
  TDBXRowBuffer small(1, true, true);
  small.SetReplyLimit(64);
  small.LoadRow(at_limit, big.size());
  EXPECT_EQ(small.Capacity(), 64u);
  EXPECT_TRUE(small.GetNull(63));
}

TEST(RowTransfer, RowTravelsInADataBlock) {
  TDBXRowBuffer out(0, true, true);
  out.WriteString(u"SELECT * FROM GR_VERSAO");
  out.WriteNull();
  out.WriteInt64(-42);
  test::MemoryChannel channel;
  TDBXJSonStreamWriter writer(channel, 0);
  writer.WriteDataBlock(out.Written());
  writer.Flush();
  EXPECT_EQ(channel.Written().substr(0, 13), "{\"data\":[27,7");

  for (std::int32_t buffer_size : {0, 16}) {
    test::MemoryChannel in(channel.Written(), 5);
    TDBXContext context;
    TDBXJSonStreamReader reader(in, 0, context);
    const std::int32_t count = enter_data_block(reader);
    TDBXRowBuffer row(buffer_size, true, true);
    row.LoadRow(reader, static_cast<std::uint64_t>(count));
    reader.Next(JsonToken::kArrayEnd);
    reader.Next(JsonToken::kObjectEnd);
    EXPECT_EQ(row.ReadString(0), u"SELECT * FROM GR_VERSAO");
    EXPECT_TRUE(row.GetNull(1));
    EXPECT_EQ(row.ReadInt64(2), -42);
  }
}

}  // namespace
}  // namespace wardenix
