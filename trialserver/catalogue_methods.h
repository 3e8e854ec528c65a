#pragma once
// The remote methods of the server class TdtmPrincipal as the trial server
// knows them: all 49 with their parameters, in the order of the proxy, and
// how it answers those it serves by the rules below. _Consultas keeps an
// answer of its own (server_methods.h): it is the watchdog's probe. Methods
// with a table argument are described here but served elsewhere.
//
// Every method is described with one parameter per argument, in argument
// order, named as the argument, then a return parameter "ReturnParameter"
// when it has a result. Types and directions:
//
//   type        data type (code)   input/in-out   result
//   string      WideString (26)    yes            yes
//   Integer     INT32 (6)          yes            yes
//   Boolean     BOOL (4)           -              yes
//   Double      DOUBLE (7)         -              yes
//   TDateTime   TIMESTAMP (24)     yes            yes
//   Currency    Currency (25)      yes            -
//   OleVariant  Variant (35)       yes            yes
//   TDataSet    TABLE (23)         yes            -
//
// The answer, one value per parameter in ordinal order, by role and type:
//
//   role     type        value sent back
//   input    any         the value as it came (null stays null)
//   in-out   string      the text with "*" appended
//   in-out   other       as an input
//   result   string      the call text (below)
//   result   Integer     the number of UTF-16 code units of the call text
//   result   Boolean     true unless an input is null or the empty text
//   result   Double      the number of code units of the call text, over 4
//   result   TDateTime   always 2024-02-29 13:45:30.250 (local time)
//   result   OleVariant  the last variant input as it came; without one,
//                        the call text as a string variant
//
// The call text is the method's name, "(", the inputs as they came, each
// written as text and separated by ",", then ")": a string as it is, an
// Integer in decimal, a Currency as the decimal text it travels as, a
// TDateTime as "yyyy-mm-dd hh:nn:ss.zzz" (local time), an OleVariant as the
// bytes of its variant stream in upper-case hexadecimal, a null as "null".
// For example _MontaMascara("123", "CPF", "1") answers the text
// "_MontaMascara(123,CPF,1)", and _CNPJTemDivida("1", "") the integer 18.
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/ustring.h"
#include "trialserver/reply_writer.h"
#include "trialserver/server_methods.h"

namespace wardenix::trial {

inline constexpr char16_t kCatalogueClass[] = u"TdtmPrincipal";

enum class ArgumentType { Text, Integer, Boolean, Double, DateTime, Currency, Variant, Table };

struct CatalogueArgument {
  std::u16string_view name;
  ArgumentType type = ArgumentType::Text;
  bool in_out = false;
};

struct CatalogueMethod {
  std::u16string_view name;  // without the class: "_Consultas"
  std::vector<CatalogueArgument> arguments;
  std::optional<ArgumentType> result;
};

// The 49 methods in the order of the proxy's commands.
std::span<const CatalogueMethod> Catalogue();

// "TdtmPrincipal." and the method's name.
UString QualifiedName(const CatalogueMethod& method);

// The command kind of a method that the rules above serve, by its command
// text: CommandKind::FirstCatalogueMethod plus its place in the catalogue.
// Nothing for _Consultas, for methods with a table argument, and for texts
// that name no method.
std::optional<CommandKind> FindCatalogueCommand(UStringView text);
bool IsCatalogueCommand(CommandKind kind);

std::vector<ParameterSpec> CatalogueParameters(CommandKind kind);

// Answers `call` (a catalogue command kind) by the rules above. Malformed
// rows raise TDBXError.
MethodResult RunCatalogueMethod(const MethodCall& call);

}  // namespace wardenix::trial
