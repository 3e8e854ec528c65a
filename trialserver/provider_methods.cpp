#include "trialserver/provider_methods.h"

#include <algorithm>
#include <string>

#include "runtime/variant.h"
#include "runtime/variant_stream.h"
#include "trialserver/call_log.h"
#include "trialserver/method_values.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

constexpr std::int32_t kResetOption = 2;  // grReset

struct ProviderMethod {
  CommandKind kind;
  const char16_t* text;
};

constexpr ProviderMethod kMethods[] = {
    {CommandKind::ApplyUpdates, u"TdmPrincipal.AS_ApplyUpdates"},
    {CommandKind::GetRecords, u"TdmPrincipal.AS_GetRecords"},
    {CommandKind::DataRequest, u"TdmPrincipal.AS_DataRequest"},
    {CommandKind::GetProviderNames, u"TdmPrincipal.AS_GetProviderNames"},
    {CommandKind::GetParams, u"TdmPrincipal.AS_GetParams"},
    {CommandKind::RowRequest, u"TdmPrincipal.AS_RowRequest"},
    {CommandKind::Execute, u"TdmPrincipal.AS_Execute"},
};

const ProviderMethod* method_of(CommandKind kind) {
  for (const auto& m : kMethods) {
    if (m.kind == kind) return &m;
  }
  return nullptr;
}

MethodResult unknown_provider(const UString& provider) {
  return failure(u"EProviderNaoEncontrado", u"Provider n\u00E3o encontrado: " + provider);
}

// The reply row of a method, written value by value in ordinal order.
class Reply {
 public:
  explicit Reply(const MethodCall& call) : in_(*call.input), out_(call.buffer_size, false, true) {}

  Reply& echo_text(std::int32_t ordinal) { return text(ordinal, read_text(in_, ordinal)); }
  Reply& text(std::int32_t ordinal, UStringView value) {
    write_text(out_, ordinal, value, result_);
    return *this;
  }
  Reply& echo_int(std::int32_t ordinal) { return int32(read_int(in_, ordinal)); }
  Reply& int32(std::int32_t value) {
    out_.WriteInt32(value);
    return *this;
  }
  // The variant the client sent at `from`, at the next ordinal `ordinal`.
  Reply& echo_variant(std::int32_t ordinal) { return variant_from(ordinal, ordinal); }
  Reply& variant_from(std::int32_t ordinal, std::int32_t from) {
    if (const auto source = in_.ReadBytes(from)) {
      write_stream(out_, ordinal, ReadAll(*source), result_);
    } else {
      out_.WriteNull();
    }
    return *this;
  }
  Reply& stream(std::int32_t ordinal, std::vector<std::uint8_t> bytes) {
    write_stream(out_, ordinal, std::move(bytes), result_);
    return *this;
  }
  Reply& null() {
    out_.WriteNull();
    return *this;
  }

  MethodResult finish() {
    result_.row.assign(out_.Written().begin(), out_.Written().end());
    return std::move(result_);
  }

 private:
  TDBXRowBuffer& in_;
  TDBXRowBuffer out_;
  MethodResult result_;
};

MethodResult get_records(const MethodCall& call) {
  TDBXRowBuffer& in = *call.input;
  const UString provider = read_text(in, 0);
  const std::int32_t count = read_int(in, 1);
  const std::int32_t options = read_int(in, 3);
  LogCall("TdmPrincipal.AS_GetRecords provider=" + to_utf8(provider) +
          " count=" + std::to_string(count) + " options=" + std::to_string(options));
  if (provider != kProviderName) return unknown_provider(provider);

  const bool reset = (options & kResetOption) != 0;
  // A negative count asks for every row, any other for at most that many.
  const std::uint32_t rows =
      reset ? 0
            : (count < 0 ? call.version_rows
                         : std::min(call.version_rows, static_cast<std::uint32_t>(count)));
  Reply reply(call);
  reply.text(0, provider).int32(count).int32(static_cast<std::int32_t>(rows)).int32(options);
  reply.echo_text(4).echo_variant(5).echo_variant(6);
  if (reset) {
    reply.null();
  } else if (rows == call.version_rows && call.packet_stream) {
    reply.stream(7, *call.packet_stream);
  } else {
    reply.stream(7, WriteOleVariant(Variant::from_bytes(versao_packet(rows))));
  }
  return reply.finish();
}

}  // namespace

MethodResult RunProviderMethod(const MethodCall& call) {
  TDBXRowBuffer& in = *call.input;
  if (call.kind == CommandKind::GetRecords) return get_records(call);
  LogCall(to_utf8(method_of(call.kind)->text));
  Reply reply(call);
  if (call.kind == CommandKind::GetProviderNames) return reply.text(0, kProviderName).finish();

  const UString provider = read_text(in, 0);
  if (provider != kProviderName) return unknown_provider(provider);
  reply.text(0, provider);
  switch (call.kind) {
    case CommandKind::ApplyUpdates:
      return reply.echo_variant(1).echo_int(2).int32(0).echo_variant(4).null().finish();
    case CommandKind::DataRequest:
      return reply.echo_variant(1).variant_from(2, 1).finish();
    case CommandKind::GetParams:
      return reply.echo_variant(1).null().finish();
    case CommandKind::RowRequest:
      return reply.echo_variant(1).echo_int(2).echo_variant(3).variant_from(4, 1).finish();
    case CommandKind::Execute:
      return reply.echo_text(1).echo_variant(2).echo_variant(3).finish();
    default:
      break;
  }
  return failure(u"EComandoInvalido", u"Comando sem m\u00E9todo");
}

std::optional<CommandKind> FindProviderMethod(UStringView text) {
  // The client names AS_GetProviderNames with a trailing colon.
  if (text == u"TdmPrincipal.AS_GetProviderNames:") return CommandKind::GetProviderNames;
  for (const auto& m : kMethods) {
    if (text == m.text) return m.kind;
  }
  return std::nullopt;
}

bool IsProviderMethod(CommandKind kind) { return method_of(kind) != nullptr; }

std::vector<ParameterSpec> ProviderMethodParameters(CommandKind kind) {
  const ParameterSpec provider = text_parameter(u"ProviderName");
  const ParameterSpec owner_data = variant_parameter(u"OwnerData", kInOut);
  const ParameterSpec result = variant_parameter(u"ReturnParameter", kReturn);
  switch (kind) {
    case CommandKind::ApplyUpdates:
      return {provider, variant_parameter(u"Delta", kIn), int_parameter(u"MaxErrors"),
              int_parameter(u"ErrorCount", kInOut), owner_data, result};
    case CommandKind::GetRecords:
      return {provider, int_parameter(u"Count"), int_parameter(u"RecsOut", kInOut),
              int_parameter(u"Options"), text_parameter(u"CommandText"),
              variant_parameter(u"Params", kInOut), owner_data, result};
    case CommandKind::DataRequest:
      return {provider, variant_parameter(u"Data", kIn), result};
    case CommandKind::GetProviderNames:
      return {text_parameter(u"ReturnParameter", kReturn)};
    case CommandKind::GetParams:
      return {provider, owner_data, result};
    case CommandKind::RowRequest:
      return {provider, variant_parameter(u"Row", kIn), int_parameter(u"RequestType"), owner_data,
              result};
    case CommandKind::Execute:
      return {provider, text_parameter(u"CommandText"), variant_parameter(u"Params", kInOut),
              owner_data};
    default:
      return {};
  }
}

}  // namespace wardenix::trial
