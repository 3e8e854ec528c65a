#pragma once
// A scripted application server on 127.0.0.1 for client tests, built on the
// project's own wire code: it accepts one connection, answers the transport
// handshake unfiltered, and runs a script that reads the client's requests
// and writes replies. Everything the client sent is recorded byte for byte.
// The script runs on its own thread; what it sees is handed back through
// the test's own variables after Finish().
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/errors.h"
#include "trialserver/connection_channel.h"
#include "trialserver/socket.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace wardenix::test {

// A JSON value of a request, with the raw bytes of "data" arrays.
struct Json {
  enum class Kind { Null, Boolean, Number, String, Array, Object, Data };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t number = 0;
  UString text;
  std::vector<Json> items;                         // arrays
  std::vector<std::pair<UString, Json>> members;   // objects
  std::int64_t count = 0;                          // data: the count as sent
  std::string bytes;                               // data: the raw bytes

  const Json& operator[](int i) const { return items.at(static_cast<std::size_t>(i)); }
  // The value of the first member of that name.
  const Json& operator[](const char16_t* name) const {
    for (const auto& [n, v] : members) {
      if (n == name) return v;
    }
    throw std::out_of_range("no such member");
  }
  bool Has(const char16_t* name) const {
    for (const auto& m : members) {
      if (m.first == name) return true;
    }
    return false;
  }
};

struct Request {
  UString method;
  Json params;  // the array
};

// Records every byte read from the wrapped channel.
class RecordingChannel final : public TDbxChannel {
 public:
  explicit RecordingChannel(TDbxChannel& inner) : inner_(inner) {}
  void Open() override {}
  void Close() override { inner_.Close(); }
  int Read(std::span<std::uint8_t> into) override {
    const int n = inner_.Read(into);
    if (n > 0) {
      std::lock_guard lock(mutex_);
      received_.append(reinterpret_cast<const char*>(into.data()), static_cast<std::size_t>(n));
    }
    return n;
  }
  int Write(std::span<const std::uint8_t> bytes) override { return inner_.Write(bytes); }
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return inner_.AbortHandle(); }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> a) override { inner_.SetAbortHandle(std::move(a)); }

  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  TDbxChannel& inner_;
  mutable std::mutex mutex_;
  std::string received_;
};

// The server's side of one connection, as a script uses it.
class ServerSide {
 public:
  ServerSide(TDbxChannel& channel, const TDBXContext& context)
      : channel_(channel), reader_(channel, 0, context), writer_(channel, 0) {}

  // The next request: {"method": name, "params": [ ... ]}.
  Request ReadRequest() {
    Request request;
    reader_.Next(JsonToken::kObjectStart);
    if (reader_.ReadString() != u"method") throw std::runtime_error("method expected");
    reader_.Next(JsonToken::kNameSeparator);
    request.method = reader_.ReadString();
    reader_.NextValueSeparator();
    if (reader_.ReadString() != u"params") throw std::runtime_error("params expected");
    reader_.Next(JsonToken::kNameSeparator);
    request.params = ReadValue(reader_.Next(), false);
    reader_.Next(JsonToken::kObjectEnd);
    return request;
  }

  // Sends text as it stands.
  void Send(const std::string& text) {
    writer_.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    writer_.Flush();
  }
  // Appends a "data" array's content: the count, a comma and the bytes.
  static std::string Data(const std::string& bytes) {
    return std::to_string(bytes.size()) + "," + bytes;
  }

  TDBXJSonStreamReader& Reader() { return reader_; }
  TDbxChannel& Channel() { return channel_; }

 private:
  Json ReadValue(JsonToken token, bool data) {
    Json value;
    switch (token) {
      case JsonToken::kNull: break;
      case JsonToken::kTrue:
      case JsonToken::kFalse:
        value.kind = Json::Kind::Boolean;
        value.boolean = token == JsonToken::kTrue;
        break;
      case JsonToken::kNumber:
        value.kind = Json::Kind::Number;
        value.number = reader_.ReadLong();
        break;
      case JsonToken::kString:
        value.kind = Json::Kind::String;
        value.text = reader_.ReadStringBody();
        break;
      case JsonToken::kArrayStart:
        if (data) {
          value.kind = Json::Kind::Data;
          value.count = reader_.ReadLong();
          if (reader_.Next() == JsonToken::kValueSeparator) {
            std::vector<std::uint8_t> bytes;
            reader_.ReadDataBytes(bytes, static_cast<std::uint64_t>(std::abs(value.count)));
            value.bytes.assign(bytes.begin(), bytes.end());
            reader_.Next(JsonToken::kArrayEnd);
          }
          break;
        }
        value.kind = Json::Kind::Array;
        for (JsonToken t = reader_.Next(); t != JsonToken::kArrayEnd;) {
          value.items.push_back(ReadValue(t, false));
          t = reader_.Next();
          if (t == JsonToken::kValueSeparator) t = reader_.Next();
        }
        break;
      case JsonToken::kObjectStart:
        value.kind = Json::Kind::Object;
        for (JsonToken t = reader_.Next(); t != JsonToken::kObjectEnd;) {
          if (t != JsonToken::kString) throw std::runtime_error("member name expected");
          UString name = reader_.ReadStringBody();
          reader_.Next(JsonToken::kNameSeparator);
          const bool is_data = name == u"data";
          value.members.emplace_back(std::move(name), ReadValue(reader_.Next(), is_data));
          t = reader_.Next();
          if (t == JsonToken::kValueSeparator) t = reader_.Next();
        }
        break;
      default:
        throw std::runtime_error("value expected");
    }
    return value;
  }

  TDbxChannel& channel_;
  TDBXJSonStreamReader reader_;
  TDBXJSonStreamWriter writer_;
};

class ScriptedServer {
 public:
  using Script = std::function<void(ServerSide&)>;

  explicit ScriptedServer(Script script) : script_(std::move(script)) {
    if (!listener_.open(0, trial::Reach::Loopback)) throw std::runtime_error("cannot listen");
    thread_ = std::thread([this] { Run(); });
  }

  ~ScriptedServer() {
    Abort();
    if (thread_.joinable()) thread_.join();
  }

  std::uint16_t Port() const { return listener_.port(); }

  // Waits until the script has ended by itself.
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  // Ends the script's waits at once (its reads then fail).
  void Abort() {
    listener_.stop();
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (abort_) abort_->Trip();
  }

  // The five handshake bytes and everything after them, as received.
  std::string Handshake() const {
    std::lock_guard lock(mutex_);
    return handshake_;
  }
  std::string Received() const {
    std::lock_guard lock(mutex_);
    return recording_ ? recording_->Received() : std::string();
  }
  // The failure that ended the script early, empty when none did.
  std::string ScriptError() const {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  void Run() {
    const auto connection = listener_.accept();
    if (!connection) return;
    trial::ConnectionChannel channel(*connection);
    {
      std::lock_guard lock(mutex_);
      abort_ = channel.AbortHandle();
      if (stopping_) abort_->Trip();
    }
    try {
      std::string hello(5, '\0');
      std::size_t got = 0;
      while (got < hello.size()) {
        const int n = channel.Read(std::span(reinterpret_cast<std::uint8_t*>(hello.data()) + got,
                                             hello.size() - got));
        if (n <= 0) return;
        got += static_cast<std::size_t>(n);
      }
      {
        std::lock_guard lock(mutex_);
        handshake_ = hello;
      }
      const std::uint8_t unfiltered[5] = {6, 0, 0, 0, 0};
      channel.Write(unfiltered);
      RecordingChannel* recording = nullptr;
      {
        std::lock_guard lock(mutex_);
        recording_ = std::make_unique<RecordingChannel>(channel);
        recording = recording_.get();
      }
      ServerSide side(*recording, context_);
      script_(side);
    } catch (const std::exception& e) {
      std::lock_guard lock(mutex_);
      error_ = e.what();
    }
  }

  Script script_;
  trial::Listener listener_;
  TDBXContext context_;
  mutable std::mutex mutex_;
  bool stopping_ = false;
  std::shared_ptr<AbortSwitch> abort_;
  std::string handshake_;
  std::string error_;
  std::unique_ptr<RecordingChannel> recording_;
  std::thread thread_;
};

// ---- replies a script sends

// {"result":[H,"name"]} and the like.
inline std::string ConnectReply(int handle = 1, const std::string& product = "Trial") {
  return R"({"result":[)" + std::to_string(handle) + R"(,")" + product + R"("]})";
}

// A parameter metadata item: type, sub type, direction, precision, scale,
// name, child position, size, flags.
inline std::string ParameterItem(int data_type, int direction, const std::string& name,
                                 int sub_type = 0) {
  return "[" + std::to_string(data_type) + "," + std::to_string(sub_type) + "," +
         std::to_string(direction) + ",0,0,\"" + name + "\",0,0,0]";
}

inline std::string PrepareReply(int handle, const std::vector<std::string>& items) {
  std::string text = R"({"result":[{"handle":[)" + std::to_string(handle) + R"(]},{"parameters":[)" +
                     std::to_string(items.size());
  for (const auto& item : items) text += "," + item;
  return text + "]}]}";
}

// A reply whose parameter row holds `row`.
inline std::string ExecuteReply(const std::string& row) {
  return R"({"result":[{"rows":[0]},{"data":[)" + ServerSide::Data(row) + "]}]}";
}

inline std::string ErrorReply(int code, const std::string& message) {
  return R"({"error":{"name":"EServerError","code":)" + std::to_string(code) +
         R"(,"message":")" + message + R"("}})";
}

// Rows written with the project's row encoding.
class RowBuilder {
 public:
  RowBuilder() : row_(0, false, true) {}
  TDBXRowBuffer* operator->() { return &row_; }
  std::string Bytes() const {
    const auto w = row_.Written();
    return std::string(reinterpret_cast<const char*>(w.data()), w.size());
  }

 private:
  TDBXRowBuffer row_;
};

}  // namespace wardenix::test
