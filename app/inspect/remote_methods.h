#pragma once
// The typed proxy's remote methods as `wardenix-inspect call` offers them:
// one table, written from the proxy's own declarations, that gives each
// method's parameters and result and calls it with arguments read from text
// (argument_text.h), its result and in-out arguments written as JSON
// (value_json.h).
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/inspect/json_writer.h"
#include "proxy/uclasse_datasnap.h"

namespace wardenix {

// The parameter and result types, named as the proxy declares them.
enum class ValueType { Text, Integer, Boolean, Double, DateTime, Currency, OleVariant, DataSet };
const char* value_type_name(ValueType type);  // "string", "Integer", ... "TDataSet"

struct MethodParameter {
  std::string_view name;
  ValueType type = ValueType::Text;
  bool in_out = false;
};

// A call ready to run: its arguments read. Running it calls the method
// through the proxy, then writes the members "result" (unless the method has
// none) and "out" (an object of the in-out arguments, when it has any) into
// the JSON object that is open. The proxy's failures reach the caller.
using BoundCall = std::function<void(TdtmPrincipalClient& proxy, JsonWriter& json)>;

struct Binding {
  BoundCall call;         // empty when an argument was refused
  std::size_t argument = 0;  // which one, from 0
  std::string error;      // and why
};

struct RemoteMethod {
  std::string_view name;  // "_Consultas"
  std::vector<MethodParameter> parameters;
  std::optional<ValueType> result;
  // Reads one text per parameter (the caller checks the count).
  std::function<Binding(std::span<const std::string_view> texts)> bind;
};

// The proxy's methods in its declaration order.
std::span<const RemoteMethod> remote_methods();
// The method of that name, ASCII case ignored; none when there is no such method.
const RemoteMethod* find_remote_method(std::string_view name);
// "_AtualizaContribuinte(vDados: OleVariant; var CodCNT: string): Integer"
std::string method_signature(const RemoteMethod& method);

}  // namespace wardenix
