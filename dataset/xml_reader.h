#pragma once
// A pull reader for the XML form of data packets: it hands out the starts and
// ends of elements in document order and keeps nothing but the attributes of
// the element it is at, so a document of any length is read in the space of
// its largest element. Names, and values that need no decoding, are views of
// the text itself. Text, comments, processing instructions and CDATA sections
// are skipped.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wardenix {

struct XmlAttribute {
  std::string_view name;
  std::string_view value;  // in UTF-8
};

// Elements nested deeper than this make a document unreadable.
inline constexpr int kMaxXmlDepth = 512;

// Names and values compared without regard to ASCII case.
bool xml_equals_ci(std::string_view a, std::string_view b);

class XmlReader {
 public:
  enum class Token {
    Start,  // an element begins: name() and attributes() describe it
    End,    // the element named name() ends ("<a/>" gives Start, then End)
    Done,   // the document element has ended; what follows is not read
    Error,  // the text cannot be read from here on
  };

  // Leading bytes 1 to 32 and a UTF-8 byte-order mark are skipped; the text
  // must then begin with "<". Text is taken as UTF-8 when a byte-order mark
  // or a declaration with encoding "UTF-8" says so, and as Latin-1 otherwise.
  // Without `keep_values` the values are checked but not kept (empty).
  explicit XmlReader(std::span<const std::uint8_t> text, bool keep_values = true);

  Token next();
  // Reads on past the end of the element that has just started.
  bool skip_element();

  // Views of the text or of the reader: valid until the next token.
  std::string_view name() const { return name_; }
  std::span<const XmlAttribute> attributes() const { return {attributes_.data(), attribute_count_}; }
  // The value of the first attribute of that name.
  std::optional<std::string_view> attribute(std::string_view attribute_name) const;
  // Elements open, the one just started included.
  std::size_t depth() const { return open_count_; }
  // Bytes read so far.
  std::size_t offset() const { return i_; }

 private:
  Token prolog();
  Token content();
  Token start_tag();
  Token fail();
  bool declaration_or_instruction();
  bool read_attributes();
  bool read_value(std::string_view& value);
  bool entity(std::string* out);
  bool starts(std::string_view text) const;
  bool skip_past(std::string_view end);
  void skip_space();
  std::string_view read_name();

  std::span<const std::uint8_t> s_;
  std::size_t i_ = 0;
  bool keep_values_;
  bool utf8_ = false;
  bool started_ = false;
  bool done_ = false;
  bool failed_ = false;
  bool pending_end_ = false;  // a "<a/>" whose End is still to come
  std::string_view name_;
  // The attributes of the element just started, and the values that had to
  // be decoded; both keep their room from element to element.
  std::vector<XmlAttribute> attributes_;
  std::size_t attribute_count_ = 0;
  std::deque<std::string> decoded_;  // stays in place as it grows
  std::size_t decoded_count_ = 0;
  std::vector<std::string_view> open_;  // names of the open elements
  std::size_t open_count_ = 0;
};

}  // namespace wardenix
