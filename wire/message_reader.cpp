#include "wire/message_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/errors.h"

namespace wardenix {
namespace {

constexpr std::size_t kDefaultSize = 8192;
constexpr std::uint8_t kPrelude = 0xB7;

bool is_blank(std::uint8_t b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r'; }

bool is_number_byte(std::uint8_t b) {
  return (b >= '0' && b <= '9') || b == '+' || b == '-' || b == '.' || b == 'E' || b == 'e';
}

JsonToken classify(std::uint8_t b) {
  switch (b) {
    case '{': return JsonToken::kObjectStart;
    case '}': return JsonToken::kObjectEnd;
    case '[': return JsonToken::kArrayStart;
    case ']': return JsonToken::kArrayEnd;
    case 't': return JsonToken::kTrue;
    case 'f': return JsonToken::kFalse;
    case 'n': return JsonToken::kNull;
    case '"': return JsonToken::kString;
    case ':': return JsonToken::kNameSeparator;
    case ',': return JsonToken::kValueSeparator;
    default: return JsonToken::kNumber;
  }
}

struct KeywordEntry {
  UStringView name;
  JsonKeyword code;
};

constexpr KeywordEntry kKeywords[] = {
    {u"result", JsonKeyword::kResult},
    {u"error", JsonKeyword::kError},
    {u"connect", JsonKeyword::kConnect},
    {u"disconnect", JsonKeyword::kDisconnect},
    {u"prepare", JsonKeyword::kPrepare},
    {u"execute", JsonKeyword::kExecute},
    {u"command_close", JsonKeyword::kCommandClose},
    {u"reader_close", JsonKeyword::kReaderClose},
    {u"rows", JsonKeyword::kRows},
    {u"table", JsonKeyword::kTable},
    {u"columns", JsonKeyword::kColumns},
    {u"session", JsonKeyword::kSession},
    {u"data", JsonKeyword::kData},
    {u"next", JsonKeyword::kNext},
    {u"handle", JsonKeyword::kHandle},
    {u"fields", JsonKeyword::kFields},
    {u"parameters", JsonKeyword::kParameters},
    {u"txbegin", JsonKeyword::kTxBegin},
    {u"txend", JsonKeyword::kTxEnd},
    {u"more_blob", JsonKeyword::kMoreBlob},
    {u"next_result", JsonKeyword::kNextResult},
    {u"vendor_property", JsonKeyword::kVendorProperty},
    {u"callback", JsonKeyword::kCallback},
};

JsonKeyword keyword_of(UStringView text) {
  for (const KeywordEntry& entry : kKeywords) {
    if (entry.name == text) return entry.code;
  }
  return JsonKeyword::kNone;
}

int hex_value(std::uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}

void append_dump(UString& out, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    if (b >= 32 && b <= 126) {
      out += static_cast<char16_t>(b);
    } else {
      out += u'#';
      out += to_ustring(b);
    }
  }
}

}  // namespace

UStringView TokenName(JsonToken token) {
  switch (token) {
    case JsonToken::kObjectStart: return u"{";
    case JsonToken::kObjectEnd: return u"}";
    case JsonToken::kArrayStart: return u"[";
    case JsonToken::kArrayEnd: return u"]";
    case JsonToken::kTrue: return u"true";
    case JsonToken::kFalse: return u"false";
    case JsonToken::kNull: return u"null";
    case JsonToken::kNumber: return u"-+0-9.";
    case JsonToken::kString: return u"\"";
    case JsonToken::kNameSeparator: return u":";
    case JsonToken::kValueSeparator: return u",";
    case JsonToken::kNone: break;
  }
  return u"Unknown";
}

TDBXJSonStreamReader::TDBXJSonStreamReader(TDbxChannel& channel, std::int32_t buffer_size,
                                           const TDBXContext& context)
    : channel_(channel),
      context_(context),
      buffer_(buffer_size > 0 ? static_cast<std::size_t>(buffer_size) : kDefaultSize) {
  chars_.reserve(128);
}

void TDBXJSonStreamReader::Fill() {
  const int n = channel_.Read(buffer_);
  if (n <= 0) {
    pos_ = end_ = 0;
    context_.Error(1, u"Read error");
  }
  pos_ = 0;
  end_ = static_cast<std::size_t>(n);
  if (context_.IsTracing()) {
    UString text = u"read " + to_ustring(n) + u" bytes:";
    append_dump(text, std::span(buffer_).first(end_));
    context_.Trace(text);
  }
}

// ---- errors

UString TDBXJSonStreamReader::Dump() const {
  UString text;
  append_dump(text, std::span(buffer_).first(end_));
  return text;
}

UString TDBXJSonStreamReader::Position() const {
  return to_ustring(static_cast<std::int64_t>(pos_) - 1);
}

void TDBXJSonStreamReader::Fail(std::int32_t code, UString message) {
  message += u"\n";
  message += Dump();
  // The reader does not resynchronise: the rest of the buffer is dropped.
  pos_ = end_;
  context_.Error(code, std::move(message));
}

void TDBXJSonStreamReader::TokenError(JsonToken expected, JsonToken found) {
  Fail(2, u"Expected:  '" + UString(TokenName(expected)) + u"' found:  '" +
              UString(TokenName(found)) + u"' at position:  " + Position());
}

void TDBXJSonStreamReader::KeywordError(UStringView keyword) {
  Fail(2, u"Expected:  '" + UString(keyword) + u" at position:  " + Position());
}

void TDBXJSonStreamReader::NumberError() {
  Fail(2, u"Unexpected byte at position:  " + Position());
}

// ---- tokens

std::uint8_t TDBXJSonStreamReader::NextNonBlank() {
  for (;;) {
    const std::uint8_t b = NextByte();
    if (!is_blank(b)) return b;
  }
}

void TDBXJSonStreamReader::SkipBlanks() {
  while (is_blank(PeekByte())) ++pos_;
}

void TDBXJSonStreamReader::ExpectLetters(const char* rest, UStringView keyword) {
  for (; *rest != '\0'; ++rest) {
    if (NextByte() != static_cast<std::uint8_t>(*rest)) KeywordError(keyword);
  }
}

JsonToken TDBXJSonStreamReader::Next() {
  const std::uint8_t b = NextNonBlank();
  const JsonToken token = classify(b);
  switch (token) {
    case JsonToken::kTrue:
      ExpectLetters("rue", u"true");
      last_boolean_ = true;
      break;
    case JsonToken::kFalse:
      ExpectLetters("alse", u"false");
      last_boolean_ = false;
      break;
    case JsonToken::kNull:
      ExpectLetters("ull", u"null");
      break;
    case JsonToken::kNumber:
      --pos_;  // a number is read by its caller, from its first byte
      break;
    default:
      break;
  }
  return token;
}

void TDBXJSonStreamReader::Next(JsonToken expected) {
  const JsonToken found = Next();
  if (found != expected) TokenError(expected, found);
}

// ---- numbers

std::uint64_t TDBXJSonStreamReader::ReadMagnitude(bool& negative) {
  SkipBlanks();
  std::uint8_t b = PeekByte();
  negative = false;
  if (!is_number_byte(b)) {
    if (b == ']') return 0;
    ++pos_;
    NumberError();
  }
  if (b == '-' || b == '+') {
    negative = b == '-';
    ++pos_;
  }
  // Decimal accumulation without overflow detection, as the peer does it;
  // unsigned arithmetic keeps every input defined.
  std::uint64_t value = 0;
  for (;;) {
    if (pos_ == end_) Fill();
    b = buffer_[pos_];
    if (!is_number_byte(b)) break;
    value = value * 10 + static_cast<std::uint64_t>(b - '0');
    ++pos_;
  }
  return value;
}

std::int32_t TDBXJSonStreamReader::ReadInt() {
  bool negative = false;
  const auto magnitude = static_cast<std::uint32_t>(ReadMagnitude(negative));
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

std::int64_t TDBXJSonStreamReader::ReadLong() {
  bool negative = false;
  const std::uint64_t magnitude = ReadMagnitude(negative);
  return static_cast<std::int64_t>(negative ? 0u - magnitude : magnitude);
}

bool TDBXJSonStreamReader::ReadBoolean() {
  const JsonToken token = Next();
  if (token != JsonToken::kTrue && token != JsonToken::kFalse) {
    TokenError(JsonToken::kTrue, token);
  }
  return last_boolean_;
}

// ---- strings

const UString& TDBXJSonStreamReader::ReadStringBody() {
  chars_.clear();
  for (;;) {
    if (pos_ == end_) Fill();
    // Plain bytes up to the next quote or backslash, widened in one run.
    std::size_t run_end = pos_;
    while (run_end < end_ && buffer_[run_end] != '"' && buffer_[run_end] != '\\') ++run_end;
    if (run_end > pos_) {
      const std::size_t old = chars_.size();
      CheckReplySize(old + (run_end - pos_), reply_limit_);
      chars_.resize(old + (run_end - pos_));
      char16_t* out = chars_.data() + old;
      for (std::size_t k = pos_; k < run_end; ++k) *out++ = buffer_[k];
      pos_ = run_end;
      if (pos_ == end_) continue;
    }
    const std::uint8_t b = buffer_[pos_++];
    if (b == '"') return chars_;
    const std::uint8_t e = NextByte();
    switch (e) {
      case 'b': chars_ += u'\b'; break;
      case 'f': chars_ += u'\f'; break;
      case 'n': chars_ += u'\n'; break;
      case 'r': chars_ += u'\r'; break;
      case 't': chars_ += u'\t'; break;
      case 'u': {
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
          const int d = hex_value(NextByte());
          if (d < 0) NumberError();
          value = value * 16 + static_cast<unsigned>(d);
        }
        chars_ += static_cast<char16_t>(value);
        break;
      }
      default:
        chars_ += static_cast<char16_t>(e);  // \" \\ \/ and any other byte
    }
    if (chars_.size() > reply_limit_) CheckReplySize(chars_.size(), reply_limit_);
  }
}

UString TDBXJSonStreamReader::ReadString() {
  Next(JsonToken::kString);
  ReadStringBody();
  // A long text leaves with its block rather than as a copy, so that the
  // reader does not keep a block of its size for the rest of the connection.
  constexpr std::size_t kKeptCapacity = 4096;
  if (chars_.capacity() > kKeptCapacity) return std::exchange(chars_, UString());
  return chars_;
}

JsonKeyword TDBXJSonStreamReader::ReadStringCode() {
  Next(JsonToken::kString);
  return keyword_of(ReadStringBody());
}

// ---- skipping

void TDBXJSonStreamReader::SkipBytes(std::uint64_t count) {
  while (count > 0) {
    if (pos_ == end_) Fill();
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - pos_));
    pos_ += n;
    count -= n;
  }
}

// Counts `open` up and `close` down from depth 1. Strings are stepped over
// whole, and so are the raw bytes of "data" blocks, whose content is no JSON.
void TDBXJSonStreamReader::Skip(std::uint8_t open, std::uint8_t close) {
  enum class Data { kNone, kName, kColon, kArray } data = Data::kNone;
  int depth = 1;
  for (;;) {
    const std::uint8_t b = NextByte();
    if (is_blank(b)) continue;
    if (data == Data::kArray && (is_number_byte(b))) {
      --pos_;
      const std::int64_t count = ReadLong();
      data = Data::kNone;
      SkipBlanks();
      if (PeekByte() == ',') {
        ++pos_;
        SkipBytes(count < 0 ? 0 - static_cast<std::uint64_t>(count)
                            : static_cast<std::uint64_t>(count));
      }
      continue;
    }
    const Data seen = data;
    data = Data::kNone;
    if (b == '"') {
      if (ReadStringBody() == u"data") data = Data::kName;
    } else if (b == ':' && seen == Data::kName) {
      data = Data::kColon;
    } else if (b == '[' && seen == Data::kColon) {
      data = Data::kArray;
    }
    if (b == open) {
      ++depth;
    } else if (b == close && --depth == 0) {
      return;
    }
  }
}

void TDBXJSonStreamReader::SkipToEndOfObject() { Skip('{', '}'); }
void TDBXJSonStreamReader::SkipToEndOfArray() { Skip('[', ']'); }

void TDBXJSonStreamReader::SkipValue() {
  switch (const JsonToken token = Next()) {
    case JsonToken::kString: ReadStringBody(); break;
    case JsonToken::kNumber: ReadLong(); break;
    case JsonToken::kObjectStart: SkipToEndOfObject(); break;
    case JsonToken::kArrayStart: SkipToEndOfArray(); break;
    case JsonToken::kTrue:
    case JsonToken::kFalse:
    case JsonToken::kNull: break;
    default: TokenError(JsonToken::kString, token);
  }
}

// ---- replies

void TDBXJSonStreamReader::SkipPrelude() {
  std::uint32_t total = 0;
  for (int i = 0; i < 4; ++i) total = (total << 8) | NextByte();
  std::uint32_t flags = 0;
  for (int i = 0; i < 4; ++i) flags = (flags << 8) | NextByte();
  if (flags == 0) {
    pos_ = end_;
    throw Exception(u"Server uses unsupported streaming protocol");
  }
  if (total > 9) SkipBytes(total - 9);
}

void TDBXJSonStreamReader::OpenObjectAtFirstName() {
  for (;;) {
    const std::uint8_t b = NextByte();
    if (is_blank(b)) continue;
    if (b == '{') break;
    if (b == kPrelude) {
      SkipPrelude();
      continue;
    }
    TokenError(JsonToken::kObjectStart, classify(b));
  }
  const std::uint8_t quote = NextNonBlank();
  if (quote != '"') TokenError(JsonToken::kString, classify(quote));
}

JsonKeyword TDBXJSonStreamReader::NextMessageStart() {
  OpenObjectAtFirstName();
  return keyword_of(ReadStringBody());
}

void TDBXJSonStreamReader::NextResultObjectStart() {
  OpenObjectAtFirstName();
  const UString& name = ReadStringBody();
  switch (keyword_of(name)) {
    case JsonKeyword::kResult: break;
    case JsonKeyword::kError: ReadErrorBody();
    default: KeywordError(!name.empty() && name[0] == u'e' ? u"\"error\"" : u"\"result\"");
  }
  Next(JsonToken::kNameSeparator);
}

void TDBXJSonStreamReader::ReadErrorBody() {
  Next(JsonToken::kNameSeparator);
  Next(JsonToken::kObjectStart);
  std::int32_t code = 2;
  UString message = u"unknown error";
  for (;;) {
    const JsonToken token = Next();
    if (token == JsonToken::kObjectEnd) break;
    if (token == JsonToken::kValueSeparator) continue;
    if (token != JsonToken::kString) TokenError(JsonToken::kString, token);
    const UString& name = ReadStringBody();
    const bool is_code = name == u"code";
    const bool is_message = name == u"message";
    const bool is_error = name == u"error";
    Next(JsonToken::kNameSeparator);
    if (is_code) {
      code = ReadInt();
    } else if (is_message) {
      message = ReadString();
    } else if (is_error) {
      Next(JsonToken::kObjectStart);
      SkipToEndOfObject();
    } else {
      SkipValue();
    }
  }
  // The object that holds the error ends too, so that the next reply starts
  // at a message boundary.
  SkipToEndOfObject();
  context_.Error(code, std::move(message));
}

std::int32_t TDBXJSonStreamReader::ReadIntResultObject() {
  NextResultObjectStart();
  Next(JsonToken::kArrayStart);
  const std::int32_t value = ReadInt();
  SkipToEndOfObject();
  return value;
}

// ---- raw data

void TDBXJSonStreamReader::ReadDataBytes(std::span<std::uint8_t> into) {
  while (!into.empty()) {
    if (pos_ == end_) Fill();
    const std::size_t n = std::min(into.size(), end_ - pos_);
    std::memcpy(into.data(), buffer_.data() + pos_, n);
    pos_ += n;
    into = into.subspan(n);
  }
}

void TDBXJSonStreamReader::ReadDataBytes(std::vector<std::uint8_t>& out, std::uint64_t count) {
  CheckReplySize(count, reply_limit_);
  // A block read whole is held in exactly its size; one appended to earlier
  // blocks grows as a vector does, lest every block move all before it.
  if (out.empty()) out.reserve(static_cast<std::size_t>(count));
  while (count > 0) {
    if (pos_ == end_) Fill();
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - pos_));
    out.insert(out.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
               buffer_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    count -= n;
  }
}

}  // namespace wardenix
