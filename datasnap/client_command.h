#pragma once
// TDBXClientCommand: the driver command of a client connection. It speaks
// the command messages over the connection's wire: prepare, execute (with
// the parameter row, answering the server's requests for the rest of a
// value while the reply is awaited) and command_close.
#include <cstdint>
#include <memory>

#include "datasnap/client_handlers.h"
#include "datasnap/client_parameter_row.h"
#include "dbx/command.h"

namespace wardenix {

class TDBXConnection;

class TDBXClientCommand final : public TDBXCommand {
 public:
  TDBXClientCommand(std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire,
                    TDBXConnection& connection, std::int32_t connection_handle);
  ~TDBXClientCommand() override;

  // The text is cut at its first NUL character.
  void SetText(UStringView value) override;
  std::int64_t GetRowsAffected() override { return FRowsAffected; }
  std::unique_ptr<TDBXRow> CreateParameterRow() override;
  void DerivedOpen() override { FCommandHandle = -1; }
  // Sends command_close for a handle of 0 or more.
  void DerivedClose() override;
  void DerivedPrepare() override;
  std::unique_ptr<TDBXReader> DerivedExecuteQuery() override;
  void DerivedExecuteUpdate() override;
  void DerivedClearParameters() override;
  void MarkConnectionClosed() override;

  std::int32_t CommandHandle() const { return FCommandHandle; }
  std::int32_t ConnectionHandle() const { return FConnectionHandle; }
  bool Updateable() const { return FUpdateable; }

 private:
  TDBXJSonClientOutputConnectionHandler& Wire();
  TDBXClientParameterRow* ParameterRow() const;
  void StoreParameters(const std::vector<TDBXWireValueType>& descriptions);
  bool HasOutputValues() const;
  std::unique_ptr<TDBXReader> Execute();
  std::unique_ptr<TDBXReader> ReadExecuteReply();
  void AnswerMoreBlob();

  std::shared_ptr<TDBXJSonClientOutputConnectionHandler> FWire;
  TDBXConnection* FConnection;
  std::int32_t FConnectionHandle;
  std::int32_t FCommandHandle = -1;
  std::int64_t FRowsAffected = 0;
  bool FUpdateable = false;
  bool FParameterTypeChange = false;
};

}  // namespace wardenix
