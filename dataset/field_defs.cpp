#include "dataset/field_defs.h"

#include <algorithm>

namespace wardenix {

namespace {

bool taken(const std::vector<TFieldDef>& defs, const UString& name) {
  return std::any_of(defs.begin(), defs.end(),
                     [&](const TFieldDef& d) { return equals_ascii_ci(d.Name, name); });
}

}  // namespace

std::vector<TFieldDef> BuildFieldDefs(const PacketTable& table) {
  std::vector<TFieldDef> defs;
  defs.reserve(table.columns.size());
  for (const auto& column : table.columns) {
    TFieldDef def;
    const bool cut = column.name.size() == 31 && column.full_name.has_value();
    const UString base = from_utf8(cut ? *column.full_name : column.name);
    def.Name = base;
    for (std::int64_t n = 1; taken(defs, def.Name); ++n) {
      def.Name = format_message(u"%s_%d", {base, to_ustring(n)});
    }
    def.DataType = column.code();
    def.Size = column.size();
    def.Attributes = column.attributes;
    if (column.nested) def.ChildDefs = BuildFieldDefs(*column.nested);
    defs.push_back(std::move(def));
  }
  return defs;
}

}  // namespace wardenix
