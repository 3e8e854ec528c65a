#include "dbx/command.h"

#include "dbx/data_types.h"
#include "runtime/errors.h"

namespace wardenix {

TDBXCommand::TDBXCommand(const TDBXContext* context) : FDBXContext(context) {}

TDBXCommand::~TDBXCommand() = default;

void TDBXCommand::Error(std::int32_t code, UString message) const {
  if (FDBXContext) FDBXContext->Error(code, message);
  throw TDBXError(code, std::move(message));
}

void TDBXCommand::CloseReader() { FLastReader.reset(); }

void TDBXCommand::SetCommandType(UStringView value) {
  if (value == FCommandType) return;
  if (FOpen) Close();
  FCommandType = UString(value);
}

void TDBXCommand::SetText(UStringView value) {
  if (FOpen && FPrepared && FParameters && FParameters->Count() > 0 && value != FText) Close();
  FPrepared = false;
  FText = UString(value);
}

std::unique_ptr<TDBXRow> TDBXCommand::CreateParameterRow() { return nullptr; }

std::unique_ptr<TDBXParameterList> TDBXCommand::CreateParameterList() {
  return std::make_unique<TDBXParameterList>([this] { return CreateParameterRow(); });
}

TDBXParameterList& TDBXCommand::GetParameters() {
  Open();
  if (!FParameters) FParameters = CreateParameterList();
  return *FParameters;
}

void TDBXCommand::Open() {
  if (FOpen) return;
  if (FConnectionClosed) throw TDBXError(30, u"Operation failed.  Connection was closed");
  DerivedOpen();
  FOpen = true;
}

std::unique_ptr<TDBXReader> TDBXCommand::DerivedGetNextReader() { return nullptr; }

void TDBXCommand::Close() {
  FFreeOnCloseList.clear();
  CloseReader();
  FParameters.reset();
  if (!FOpen) return;
  // Closed even when the driver's step fails: nothing is retried.
  FOpen = false;
  FPrepared = false;
  DerivedClose();
}

void TDBXCommand::Prepare() {
  Open();
  if (FPrepared) Error(30, u"Command can only be prepared once");
  DerivedPrepare();
  FPrepared = true;
}

void TDBXCommand::SendParameters() {
  if (!FParameters || FParameters->Count() == 0) return;
  if (!FPrepared) Prepare();
  DerivedClearParameters();
  TDBXRow* row = FParameters->ParameterRow();
  for (std::int32_t ordinal = 0; ordinal < FParameters->Count(); ++ordinal) {
    TDBXParameter& parameter = FParameters->GetParameter(ordinal);
    TDBXValue& value = parameter.Value();
    if (!row) continue;
    if (!value.IsSetPending()) {
      const std::int32_t direction = parameter.ParameterDirection();
      if (direction != TDBXParameterDirections::OutParameter &&
          direction != TDBXParameterDirections::ReturnParameter) {
        Error(11, format_message(u"Parameter not set for column number %s", {to_ustring(ordinal)}));
      }
      row->SetNull(parameter);
    } else if (value.HeldNull()) {
      row->SetNull(parameter);
    } else {
      value.WriteTo(*row);
    }
  }
}

void TDBXCommand::CountExecution() {
  if (FParameters && FParameters->ParameterRow()) FParameters->ParameterRow()->NextGeneration();
}

TDBXReader* TDBXCommand::ExecuteQuery() {
  if (FText.empty()) Error(30, u"No statement to execute");
  Open();
  CloseReader();
  SendParameters();
  FLastReader = DerivedExecuteQuery();
  CountExecution();
  return FLastReader.get();
}

void TDBXCommand::ExecuteUpdate() {
  if (FText.empty()) Error(30, u"No statement to execute");
  Open();
  CloseReader();
  SendParameters();
  DerivedExecuteUpdate();
  CountExecution();
}

TDBXReader* TDBXCommand::GetNextReader() {
  Open();
  CloseReader();
  FLastReader = DerivedGetNextReader();
  return FLastReader.get();
}

std::unique_ptr<TDBXParameter> TDBXCommand::CreateParameter() {
  return std::make_unique<TDBXParameter>(FDBXContext);
}

}  // namespace wardenix
