#include "dataset/xml_document.h"

#include "dataset/store_messages.h"

namespace wardenix {

namespace {

using namespace store_status;

}  // namespace

const std::string* XmlElement::attribute(std::string_view attribute_name) const {
  for (const auto& [key, value] : attributes) {
    if (key == attribute_name) return &value;
  }
  return nullptr;
}

const std::string* XmlElement::attribute_ci(std::string_view attribute_name) const {
  for (const auto& [key, value] : attributes) {
    if (xml_equals_ci(key, attribute_name)) return &value;
  }
  return nullptr;
}

const XmlElement* XmlElement::child(std::string_view child_name) const {
  for (const auto& c : children) {
    if (c.name == child_name) return &c;
  }
  return nullptr;
}

std::int32_t read_xml_element(XmlReader& reader, PacketBudget& budget, XmlElement& element) {
  // A list of children may take twice its length while it grows.
  std::size_t cost = 2 * sizeof(XmlElement) + reader.name().size();
  for (const auto& [key, value] : reader.attributes()) {
    cost += sizeof(element.attributes[0]) + key.size() + value.size();
  }
  if (!budget.take(cost)) return kInsufficientMemory;
  element.name = reader.name();
  element.attributes.reserve(reader.attributes().size());
  for (const auto& [key, value] : reader.attributes()) element.attributes.emplace_back(key, value);
  for (;;) {
    switch (reader.next()) {
      case XmlReader::Token::Start:
        element.children.emplace_back();
        if (const auto status = read_xml_element(reader, budget, element.children.back()); status != kOk) {
          return status;
        }
        break;
      case XmlReader::Token::End:
        return kOk;
      case XmlReader::Token::Done:
      case XmlReader::Token::Error:
        return kMismatch;
    }
  }
}

}  // namespace wardenix
