#pragma once
// TDBXCommand: one command on a connection. The caller gives it a type and
// a text, prepares it, reads and writes parameter values by ordinal and
// executes it; a driver fills in the steps marked "driver's" with its
// transport. A command opens itself on first need.
#include <cstdint>
#include <memory>
#include <vector>

#include "dbx/dbx_context.h"
#include "dbx/parameter_list.h"
#include "dbx/reader.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXCommand {
 public:
  explicit TDBXCommand(const TDBXContext* context);
  TDBXCommand(const TDBXCommand&) = delete;
  TDBXCommand& operator=(const TDBXCommand&) = delete;
  // A derived command closes itself in its own destructor.
  virtual ~TDBXCommand();

  virtual void CloseReader();
  // A different type closes an open command first.
  virtual void SetCommandType(UStringView value);
  virtual UString GetCommandType() const { return FCommandType; }
  virtual UString GetText() const { return FText; }
  // Unprepares; closes first when the command is prepared, has parameters
  // and the text differs.
  virtual void SetText(UStringView value);
  virtual void SetRowSetSize(std::int64_t) {}
  virtual void SetMaxBlobSize(std::int64_t) {}
  virtual std::int64_t GetRowsAffected() { return 0; }
  virtual void SetCommandTimeout(std::int32_t value) { FCommandTimeout = value; }
  virtual std::int32_t GetCommandTimeout() const { return FCommandTimeout; }
  const TDBXContext* Context() const { return FDBXContext; }
  // The row a new parameter list stores its values in; none by default.
  virtual std::unique_ptr<TDBXRow> CreateParameterRow();
  virtual std::unique_ptr<TDBXParameterList> CreateParameterList();
  // Opens the command; an empty list when it has no parameters yet.
  virtual TDBXParameterList& GetParameters();
  // Raises "Operation failed.  Connection was closed" (30) once the
  // command's connection has closed.
  virtual void Open();
  // ---- the driver's steps
  virtual std::unique_ptr<TDBXReader> DerivedGetNextReader();
  virtual void DerivedOpen() = 0;
  virtual void DerivedClose() = 0;
  virtual void DerivedPrepare() = 0;
  virtual std::unique_ptr<TDBXReader> DerivedExecuteQuery() = 0;
  virtual void DerivedExecuteUpdate() = 0;
  // Resets the parameter row before the values of an execution are written.
  virtual void DerivedClearParameters() {}
  // ----
  // Frees the parameters and, when open, ends the command's use on the server.
  virtual void Close();
  // Once only: "Command can only be prepared once" (30) the second time.
  virtual void Prepare();
  // The table of the result, owned by the command until the next execution
  // or Close; null when there is none.
  virtual TDBXReader* ExecuteQuery();
  // Results come back in the parameter values.
  virtual void ExecuteUpdate();
  virtual TDBXReader* GetNextReader();
  virtual std::unique_ptr<TDBXParameter> CreateParameter();

  virtual bool IsOpen() const { return FOpen; }
  virtual bool IsPrepared() const { return FPrepared; }
  bool ConnectionClosed() const { return FConnectionClosed; }
  // The connection closed: every later operation that opens the command fails.
  virtual void MarkConnectionClosed() { FConnectionClosed = true; }

 protected:
  // Raises TDBXError through the command's context.
  [[noreturn]] void Error(std::int32_t code, UString message) const;
  // The list when it exists, without creating one.
  TDBXParameterList* ParameterList() const { return FParameters.get(); }
  const UString& HeldText() const { return FText; }
  void SetHeldText(UString value) { FText = std::move(value); }
  const UString& HeldCommandType() const { return FCommandType; }
  void SetHeldCommandType(UString value) { FCommandType = std::move(value); }

 private:
  // Writes every parameter's value into the parameter row.
  void SendParameters();
  void CountExecution();

  UString FCommandType = u"Dbx.SQL";
  UString FText;
  std::unique_ptr<TDBXReader> FLastReader;
  bool FOpen = false;
  bool FPrepared = false;
  std::int32_t FCommandTimeout = 0;
  bool FConnectionClosed = false;
  std::vector<std::unique_ptr<TDBXReader>> FFreeOnCloseList;
  std::unique_ptr<TDBXParameterList> FParameters;
  const TDBXContext* FDBXContext;
};

// The command type of the remote methods of an application server.
inline constexpr char16_t kServerMethodCommandType[] = u"DataSnap.ServerMethod";

}  // namespace wardenix
