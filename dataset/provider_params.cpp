#include "dataset/provider_params.h"

#include <utility>

namespace wardenix {

Variant PackageParams(const TParams& Params) {
  if (Params.empty()) return Variant::Null();
  std::vector<Variant> list;
  for (const auto& p : Params) {
    list.push_back(Variant::from_elements(
        {Variant::from_string(p.Name), p.Value, Variant::from_int32(p.DataType),
         Variant::from_int32(p.ParamType), Variant::from_int32(p.Size),
         Variant::from_int32(p.Precision), Variant::from_int32(p.NumericScale)}));
  }
  return Variant::from_elements(std::move(list));
}

void UnpackParams(const Variant& Source, TParams& Params) {
  const VariantArray* list = Source.array();
  if (!list || list->element_type != varVariant || list->bounds.size() != 1) return;
  for (const auto& entry : list->elements) {
    const VariantArray* fields = entry.array();
    if (!fields || fields->element_type != varVariant || fields->elements.size() < 2 ||
        fields->elements[0].type() != varOleStr) {
      continue;
    }
    const auto& f = fields->elements;
    TParam* target = nullptr;
    for (auto& p : Params) {
      if (equals_ascii_ci(p.Name, f[0].as_string())) target = &p;
    }
    if (!target) target = &Params.emplace_back(TParam{f[0].as_string(), {}});
    target->Value = f[1];
    std::int32_t* numbers[] = {&target->DataType, &target->ParamType, &target->Size,
                               &target->Precision, &target->NumericScale};
    for (std::size_t i = 2; i < f.size() && i - 2 < 5; ++i) {
      *numbers[i - 2] = static_cast<std::int32_t>(f[i].as_int64());
    }
  }
}

}  // namespace wardenix
