#pragma once
// A small XML reader for data packets: elements and attributes only; text,
// comments, processing instructions and CDATA sections are skipped.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wardenix {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // values in UTF-8
  std::vector<XmlElement> children;

  const std::string* attribute(std::string_view attribute_name) const;
  // Compares names without regard to ASCII case.
  const std::string* attribute_ci(std::string_view attribute_name) const;
};

// Elements nested deeper than this make a document unreadable.
inline constexpr int kMaxXmlDepth = 512;

// Reads the document element. Leading bytes 1 to 32 and a UTF-8 byte-order
// mark are skipped; the text must then begin with "<". Text is taken as UTF-8
// when a byte-order mark or a declaration with encoding "UTF-8" says so, and
// as Latin-1 otherwise. Returns false for anything it cannot read.
bool parse_xml_document(std::span<const std::uint8_t> bytes, XmlElement& root);

}  // namespace wardenix
