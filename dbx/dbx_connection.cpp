#include "dbx/dbx_connection.h"

#include <algorithm>

#include "dbx/morphic_command.h"
#include "runtime/errors.h"

namespace wardenix {

TDBXConnection::~TDBXConnection() {
  for (TDBXMorphicCommand* command : commands_) command->MarkConnectionClosed();
}

std::unique_ptr<TDBXCommand> TDBXConnection::CreateCommand() {
  auto command = std::make_unique<TDBXMorphicCommand>(*this);
  commands_.push_back(command.get());
  if (metadata_.SupportsRowSetSize) command->SetRowSetSize(20);
  return command;
}

std::unique_ptr<TDBXCommand> TDBXConnection::CreateDriverCommand(UStringView) {
  throw TDBXError(27, u"Feature not implemented");
}

void TDBXConnection::CloseCommands() {
  while (!commands_.empty()) {
    TDBXMorphicCommand* command = commands_.front();
    commands_.erase(commands_.begin());
    try {
      command->Close();
    } catch (...) {
      // The connection closes all the same.
    }
    command->MarkConnectionClosed();
  }
}

void TDBXConnection::Unregister(TDBXMorphicCommand* command) {
  std::erase(commands_, command);
}

void TDBXDriverRegistry::Register(UString name, std::shared_ptr<TDBXDriver> driver) {
  MutexLock lock(mutex_);
  for (auto& entry : drivers_) {
    if (equals_ascii_ci(entry.first, name)) {
      entry.second = std::move(driver);
      return;
    }
  }
  drivers_.emplace_back(std::move(name), std::move(driver));
}

std::shared_ptr<TDBXDriver> TDBXDriverRegistry::Find(UStringView name) const {
  MutexLock lock(mutex_);
  for (const auto& entry : drivers_) {
    if (equals_ascii_ci(entry.first, name)) return entry.second;
  }
  throw TDBXError(22, format_message(u"Unknown driver:  %s", {name}));
}

}  // namespace wardenix
