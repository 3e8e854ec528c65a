#pragma once
// TDBXMorphicCommand: the command a connection hands out. It creates the
// driver's command for its command type when it first opens, and forwards
// the command's work to it from then on; a new command type discards it.
#include <memory>

#include "dbx/command.h"

namespace wardenix {

class TDBXConnection;

class TDBXMorphicCommand final : public TDBXCommand {
 public:
  explicit TDBXMorphicCommand(TDBXConnection& connection);
  // Closes, frees the driver command and leaves the connection's list.
  ~TDBXMorphicCommand() override;

  void CloseReader() override;
  void SetCommandType(UStringView value) override;
  void SetText(UStringView value) override;
  void SetRowSetSize(std::int64_t value) override;
  void SetMaxBlobSize(std::int64_t value) override;
  std::int64_t GetRowsAffected() override;
  TDBXParameterList& GetParameters() override;
  std::unique_ptr<TDBXReader> DerivedGetNextReader() override;
  void DerivedOpen() override;
  void DerivedClose() override;
  void DerivedPrepare() override;
  std::unique_ptr<TDBXReader> DerivedExecuteQuery() override;
  void DerivedExecuteUpdate() override;
  void Prepare() override;
  TDBXReader* ExecuteQuery() override;
  void ExecuteUpdate() override;
  TDBXReader* GetNextReader() override;
  bool IsPrepared() const override;
  void MarkConnectionClosed() override;

  std::int64_t RowSetSize() const { return FRowSetSize; }
  // The driver's command, once the command has opened.
  TDBXCommand* DriverCommand() const { return FCommand.get(); }

 private:
  TDBXCommand& Driver();

  TDBXConnection* FConnection;
  std::unique_ptr<TDBXCommand> FCommand;
  std::int64_t FRowSetSize = 20;
  std::int64_t FMaxBlobSize = -1;
};

}  // namespace wardenix
