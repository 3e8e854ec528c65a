#pragma once
// TDBXClientCommand: the driver command of a client connection. It speaks
// the command messages over the connection's wire: prepare, execute (with
// the parameter row and the input tables, answering the server's requests
// for more rows, the rest of a value and callbacks while the reply is
// awaited), next_result and command_close. The tables of a reply go to the
// output, input/output and return-value table parameters in turn, or else
// become the command's result.
#include <cstdint>
#include <memory>
#include <vector>

#include "datasnap/client_handlers.h"
#include "datasnap/client_input_table.h"
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
  // The next table of the last execution: next_result, for a command whose
  // handle is above 0; null when the server has none.
  std::unique_ptr<TDBXReader> DerivedGetNextReader() override;
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
  // The server's requests during an execution, after their member name.
  void AnswerNext();
  void AnswerMoreBlob();
  void AnswerCallback();
  // The ordinals that take the tables of a reply, in order.
  std::vector<std::int32_t> TableSlots() const;
  std::int32_t InputTableParameterCount() const;

  std::shared_ptr<TDBXJSonClientOutputConnectionHandler> FWire;
  TDBXConnection* FConnection;
  std::int32_t FConnectionHandle;
  std::int32_t FCommandHandle = -1;
  std::int64_t FRowsAffected = 0;
  bool FUpdateable = false;
  bool FParameterTypeChange = false;
  // The input tables of the current execution; row handle k is the k-th.
  std::vector<std::unique_ptr<TDBXClientInputTable>> FActiveTables;
};

}  // namespace wardenix
