#pragma once
// TDBXJSonStreamReader: parses the server's messages in place from a fixed
// buffer that it refills from the channel. Messages follow one another with
// no framing; "data" arrays carry raw bytes behind a decimal count.
#include <cstdint>
#include <span>
#include <vector>

#include "dbx/dbx_context.h"
#include "runtime/reply_limit.h"
#include "runtime/ustring.h"
#include "wire/channel.h"

namespace wardenix {

enum class JsonToken : std::uint8_t {
  kObjectStart,
  kObjectEnd,
  kArrayStart,
  kArrayEnd,
  kTrue,
  kFalse,
  kNull,
  kNumber,
  kString,
  kNameSeparator,
  kValueSeparator,
  kNone,
};

// The member names the protocol branches on.
enum class JsonKeyword : std::uint8_t {
  kNone,
  kResult,
  kError,
  kConnect,
  kDisconnect,
  kPrepare,
  kExecute,
  kCommandClose,
  kReaderClose,
  kRows,
  kTable,
  kColumns,
  kSession,
  kData,
  kNext,
  kHandle,
  kFields,
  kParameters,
  kTxBegin,
  kTxEnd,
  kMoreBlob,
  kNextResult,
  kVendorProperty,
  kCallback,
};

// The name of a token in error messages ("{", "-+0-9.", "Unknown", ...).
UStringView TokenName(JsonToken token);

class TDBXJSonStreamReader {
 public:
  // A size of 0 or less means 8192 bytes. Errors go through `context`.
  TDBXJSonStreamReader(TDbxChannel& channel, std::int32_t buffer_size, const TDBXContext& context);

  // The largest data block or string taken in (kReplyLimit unless set).
  void SetReplyLimit(std::uint64_t limit) { reply_limit_ = limit; }
  std::uint64_t ReplyLimit() const { return reply_limit_; }

  // The next token. A string token leaves the reader on its opening quote
  // (read it with ReadStringBody); a number token consumes nothing.
  JsonToken Next();
  // Raises the token error when the next token differs.
  void Next(JsonToken expected);
  void NextValueSeparator() { Next(JsonToken::kValueSeparator); }

  std::int32_t ReadInt();
  std::int64_t ReadLong();
  bool ReadBoolean();
  // The next token must be a string. A string longer than the reply limit
  // is refused as it grows past it.
  UString ReadString();
  JsonKeyword ReadStringCode();
  // The string whose opening quote Next() has just returned.
  const UString& ReadStringBody();
  // The text of the last string read, valid until the next read.
  const UString& LastString() const { return chars_; }

  void SkipToEndOfObject();
  void SkipToEndOfArray();
  // Steps over any one value.
  void SkipValue();

  // Begins a reply: an optional binary prelude, "{", then "result" and ":"
  // (an "error" member raises the server's error).
  void NextResultObjectStart();
  // Begins any message: an optional binary prelude, "{" and a member name,
  // whose keyword it returns; the reader is left before the ":".
  JsonKeyword NextMessageStart();
  // The body of an error object after its "error" name; always raises.
  [[noreturn]] void ReadErrorBody();
  std::int32_t ReadIntResultObject();

  // The raw bytes of a "data" block, right after its comma.
  void ReadDataBytes(std::span<std::uint8_t> into);
  // The same, appended to `out`; a count above the reply limit is refused
  // before any of them is read.
  void ReadDataBytes(std::vector<std::uint8_t>& out, std::uint64_t count);
  // Steps over the raw bytes of a block that nobody needs.
  void SkipDataBytes(std::uint64_t count) { SkipBytes(count); }

 private:
  void Fill();
  std::uint8_t NextByte() {
    if (pos_ == end_) Fill();
    return buffer_[pos_++];
  }
  std::uint8_t PeekByte() {
    if (pos_ == end_) Fill();
    return buffer_[pos_];
  }
  std::uint8_t NextNonBlank();
  void SkipBlanks();
  std::uint64_t ReadMagnitude(bool& negative);
  void ExpectLetters(const char* rest, UStringView keyword);
  void Skip(std::uint8_t open, std::uint8_t close);
  void SkipBytes(std::uint64_t count);
  void SkipPrelude();
  // Past the blanks and preludes before an object, its "{" and the quote of
  // its first name; the name's body is next.
  void OpenObjectAtFirstName();

  UString Dump() const;
  UString Position() const;
  [[noreturn]] void Fail(std::int32_t code, UString message);
  [[noreturn]] void TokenError(JsonToken expected, JsonToken found);
  [[noreturn]] void KeywordError(UStringView keyword);
  [[noreturn]] void NumberError();

  TDbxChannel& channel_;
  const TDBXContext& context_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;  // next byte to consume
  std::size_t end_ = 0;  // one past the last valid byte
  bool last_boolean_ = false;
  UString chars_;
  std::uint64_t reply_limit_ = kReplyLimit;
};

}  // namespace wardenix
