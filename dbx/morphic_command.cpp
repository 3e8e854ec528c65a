#include "dbx/morphic_command.h"

#include "dbx/dbx_connection.h"
#include "runtime/errors.h"

namespace wardenix {

TDBXMorphicCommand::TDBXMorphicCommand(TDBXConnection& connection)
    : TDBXCommand(&connection.Context()), FConnection(&connection) {}

TDBXMorphicCommand::~TDBXMorphicCommand() {
  try {
    Close();
  } catch (...) {
    // Freeing goes on: a server that cannot be told is no reason to leak.
  }
  FCommand.reset();
  if (FConnection) FConnection->Unregister(this);
}

TDBXCommand& TDBXMorphicCommand::Driver() {
  Open();
  return *FCommand;
}

void TDBXMorphicCommand::CloseReader() {
  if (FCommand) FCommand->CloseReader();
}

void TDBXMorphicCommand::SetCommandType(UStringView value) {
  if (value == HeldCommandType()) return;
  if (IsOpen()) Close();
  FCommand.reset();
  SetHeldCommandType(UString(value));
}

void TDBXMorphicCommand::SetText(UStringView value) {
  TDBXCommand::SetText(value);
  if (FCommand) FCommand->SetText(value);
}

void TDBXMorphicCommand::SetRowSetSize(std::int64_t value) {
  FRowSetSize = value;
  if (FCommand) FCommand->SetRowSetSize(value);
}

void TDBXMorphicCommand::SetMaxBlobSize(std::int64_t value) {
  FMaxBlobSize = value;
  if (FCommand) FCommand->SetMaxBlobSize(value);
}

std::int64_t TDBXMorphicCommand::GetRowsAffected() {
  return FCommand ? FCommand->GetRowsAffected() : 0;
}

TDBXParameterList& TDBXMorphicCommand::GetParameters() { return Driver().GetParameters(); }

void TDBXMorphicCommand::DerivedOpen() {
  if (!FCommand) {
    if (!FConnection) throw TDBXError(30, u"Operation failed.  Connection was closed");
    auto command = FConnection->CreateDriverCommand(HeldCommandType());
    command->SetText(HeldText());
    command->SetCommandType(HeldCommandType());
    if (FMaxBlobSize != -1) command->SetMaxBlobSize(FMaxBlobSize);
    if (FRowSetSize != 20) command->SetRowSetSize(FRowSetSize);
    FCommand = std::move(command);
  }
  FCommand->Open();
}

void TDBXMorphicCommand::DerivedClose() {
  if (FCommand) FCommand->Close();
}

void TDBXMorphicCommand::DerivedPrepare() { FCommand->Prepare(); }

std::unique_ptr<TDBXReader> TDBXMorphicCommand::DerivedExecuteQuery() {
  return FCommand->DerivedExecuteQuery();
}

void TDBXMorphicCommand::DerivedExecuteUpdate() { FCommand->DerivedExecuteUpdate(); }

std::unique_ptr<TDBXReader> TDBXMorphicCommand::DerivedGetNextReader() {
  return FCommand->DerivedGetNextReader();
}

void TDBXMorphicCommand::Prepare() { Driver().Prepare(); }

TDBXReader* TDBXMorphicCommand::ExecuteQuery() {
  if (HeldText().empty()) Error(30, u"No statement to execute");
  return Driver().ExecuteQuery();
}

void TDBXMorphicCommand::ExecuteUpdate() {
  if (HeldText().empty()) Error(30, u"No statement to execute");
  Driver().ExecuteUpdate();
}

TDBXReader* TDBXMorphicCommand::GetNextReader() { return Driver().GetNextReader(); }

bool TDBXMorphicCommand::IsPrepared() const { return FCommand && FCommand->IsPrepared(); }

void TDBXMorphicCommand::MarkConnectionClosed() {
  TDBXCommand::MarkConnectionClosed();
  if (FCommand) FCommand->MarkConnectionClosed();
  FConnection = nullptr;
}

}  // namespace wardenix
