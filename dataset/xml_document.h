#pragma once
// One element of an XML packet with everything inside it, as a tree: for the
// parts that are small and read as a whole, such as the metadata.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dataset/packet_budget.h"
#include "dataset/xml_reader.h"

namespace wardenix {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // values in UTF-8
  std::vector<XmlElement> children;

  const std::string* attribute(std::string_view attribute_name) const;
  // Compares names without regard to ASCII case.
  const std::string* attribute_ci(std::string_view attribute_name) const;
  // The first child of that name, or null.
  const XmlElement* child(std::string_view child_name) const;
};

// Reads the element that `reader` has just started, through its end, paying
// for the tree from `budget`. Returns a store status.
std::int32_t read_xml_element(XmlReader& reader, PacketBudget& budget, XmlElement& element);

}  // namespace wardenix
