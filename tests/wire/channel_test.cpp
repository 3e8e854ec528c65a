// The channel over real loopback sockets: the transport handshake from both
// sides, framed traffic, timeouts and aborts from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

#include "runtime/errors.h"
#include "tests/wire/loopback_server.h"
#include "tests/wire/memory_channel.h"
#include "tests/wire/standin_resolver.h"
#include "trialserver/socket.h"
#include "wire/communication_layer.h"
#include "wire/filter_channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/pass_through_filter.h"
#include "wire/socket_channel.h"
#include "wire/tcp_socket.h"

namespace wardenix {
namespace {

using test::Bytes;
using test::LoopbackServer;
using test::ReadExactly;
using test::ReadToEnd;
using test::WriteText;

const std::string kRequest = Bytes({5, 5, 5, 5, 5});
const std::string kUnfiltered = Bytes({6, 0, 0, 0, 0});
const std::string kHello = R"({"method":"connect","params":[{"Port":"3063"}]})";
const std::string kReply = R"({"result":[7,"Server"]})";

std::string frame(const std::string& payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  return Bytes({0x0D, static_cast<int>(n >> 24), static_cast<int>((n >> 16) & 0xFF),
                static_cast<int>((n >> 8) & 0xFF), static_cast<int>(n & 0xFF)}) +
         payload;
}

TDBXProperties client_properties(std::uint16_t port) {
  return TDBXProperties{{u"HostName", u"127.0.0.1"}, {u"Port", to_ustring(port)}};
}

std::unique_ptr<TDbxChannel> open_client(const TDBXProperties& properties,
                                         UStringView driver = u"Datasnap",
                                         std::shared_ptr<AbortSwitch> abort = nullptr) {
  auto channel = MakeDriverChannel(driver);
  channel->SetDbxProperties(properties);
  if (abort) channel->SetAbortHandle(std::move(abort));
  channel->Open();
  return channel;
}

// The client's side of one exchange: the hello message, then the handle of
// the reply.
std::int32_t hello_exchange(TDbxChannel& channel) {
  TDBXContext context;
  TDBXJSonStreamWriter writer(channel, 0);
  TDBXJSonStreamReader reader(channel, 0, context);
  writer.WriteFragment(kHello);
  writer.Flush();
  return reader.ReadIntResultObject();
}

template <typename E, typename F>
E error_of(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no error of the expected class";
  return E(0, u"");
}

TEST(TransportHandshake, UnfilteredWireBytes) {
  std::promise<std::string> seen;
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    std::string wire = ReadExactly(*peer, 5);
    WriteText(*peer, kUnfiltered);
    wire += ReadExactly(*peer, kHello.size());
    WriteText(*peer, kReply);
    seen.set_value(wire);
    ReadToEnd(*peer);
  });
  auto channel = open_client(client_properties(server.Port()));
  EXPECT_EQ(hello_exchange(*channel), 7);
  EXPECT_EQ(seen.get_future().get(), kRequest + kHello);
  const auto* filter = dynamic_cast<TDBXFilterSocketChannel*>(channel.get());
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->State(), TDBXFilterSocketChannel::Negotiation::kUnfiltered);
}

TEST(TransportHandshake, EmptyFilterListFramesTheTraffic) {
  std::promise<std::string> seen;
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    std::string wire = ReadExactly(*peer, 5);
    WriteText(*peer, frame("{}"));
    wire += ReadExactly(*peer, 5 + kHello.size());
    WriteText(*peer, frame(kReply.substr(0, 10)) + frame(kReply.substr(10)));
    seen.set_value(wire);
    ReadToEnd(*peer);
  });
  auto channel = open_client(client_properties(server.Port()));
  EXPECT_EQ(hello_exchange(*channel), 7);
  EXPECT_EQ(seen.get_future().get(), kRequest + frame(kHello));
}

// Both ends built from the library: the accepting side answers the
// handshake and speaks the message stream.
class AcceptingSide : public ::testing::TestWithParam<bool> {};

TEST_P(AcceptingSide, AnswersTheHandshakeAndSpeaksTheStream) {
  const bool framed = GetParam();
  std::promise<UString> seen;
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> accepted) {
    TDBXFilterSocketChannel peer(std::move(accepted));
    if (framed) peer.SetAcceptingFilters({});
    TDBXContext context;
    TDBXJSonStreamReader reader(peer, 0, context);
    TDBXJSonStreamWriter writer(peer, 0);
    reader.Next(JsonToken::kObjectStart);
    const UString method_member = reader.ReadString();
    reader.Next(JsonToken::kNameSeparator);
    seen.set_value(method_member + u"=" + reader.ReadString());
    reader.SkipToEndOfObject();
    writer.WriteFragment(R"({"result":[)");
    writer.WriteInt(42);
    writer.WriteFragment("]}");
    writer.Flush();
    ReadToEnd(peer);
  });
  auto channel = open_client(client_properties(server.Port()));
  EXPECT_EQ(hello_exchange(*channel), 42);
  EXPECT_EQ(seen.get_future().get(), u"method=connect");
  const auto& filter = dynamic_cast<TDBXFilterSocketChannel&>(*channel);
  EXPECT_EQ(filter.State(), framed ? TDBXFilterSocketChannel::Negotiation::kFiltered
                                   : TDBXFilterSocketChannel::Negotiation::kUnfiltered);
}

INSTANTIATE_TEST_SUITE_P(UnfilteredAndFramed, AcceptingSide, ::testing::Bool());

// A filter that adds a constant to every byte on the way out.
class ShiftFilter final : public TTransportFilter {
 public:
  explicit ShiftFilter(int shift = 1) : shift_(shift) {}
  UString Id() const override { return u"Shift"; }
  bool SetParameterValue(UStringView name, UStringView value) override {
    if (name != u"By") return false;
    if (value.empty()) return true;
    shift_ = value[0] - u'0';
    return value.size() == 1 && shift_ >= 0 && shift_ <= 9;
  }
  std::vector<std::pair<UString, UString>> Parameters() const override {
    return {{u"By", UString(1, static_cast<char16_t>(u'0' + shift_))}};
  }
  std::vector<std::uint8_t> ProcessInput(std::span<const std::uint8_t> data) override {
    return Shift(data, -shift_);
  }
  std::vector<std::uint8_t> ProcessOutput(std::span<const std::uint8_t> data) override {
    return Shift(data, shift_);
  }

 private:
  static std::vector<std::uint8_t> Shift(std::span<const std::uint8_t> data, int by) {
    std::vector<std::uint8_t> out(data.begin(), data.end());
    for (auto& b : out) b = static_cast<std::uint8_t>(b + by);
    return out;
  }
  int shift_;
};

TEST(TransportHandshake, AnnouncedFilterThatIsNotRegisteredFails) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    ReadExactly(*peer, 5);
    WriteText(*peer, frame(R"({"ZLibCompression":{"CompressMoreThan":"1024","x":null}})"));
    ReadToEnd(*peer);
  });
  auto channel = open_client(client_properties(server.Port()));
  const auto e = error_of<TDBXError>([&] { hello_exchange(*channel); });
  EXPECT_EQ(e.ErrorCode(), 0);
  EXPECT_EQ(e.Message(),
            u"Communication filter ZLibCompression is not registered. Filter class needs to be "
            u"registered in order to communicate with the server.");
}

TEST(TransportHandshake, AcceptingSideAnnouncingAFilterTheClientLacks) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> accepted) {
    TDBXFilterSocketChannel peer(std::move(accepted));
    TTransportFilterCollection filters;
    filters.push_back(std::make_unique<TPassThroughFilter>(
        u"PC1", std::vector<std::pair<UString, UString>>{{u"Key", u"\u00e9\""}}));
    peer.SetAcceptingFilters(std::move(filters));
    ReadToEnd(peer);
  });
  auto channel = open_client(client_properties(server.Port()));
  const auto e = error_of<TDBXError>([&] { hello_exchange(*channel); });
  EXPECT_EQ(e.Message(),
            u"Communication filter PC1 is not registered. Filter class needs to be registered in "
            u"order to communicate with the server.");
}

TEST(TransportHandshake, RegisteredFilterRunsBothWaysOrRejectsItsParameter) {
  TTransportFilterFactory::RegisterFilter(u"Shift", [] { return std::make_unique<ShiftFilter>(); });
  struct Unregister {
    ~Unregister() { TTransportFilterFactory::UnregisterFilter(u"Shift"); }
  } unregister;
  {
    LoopbackServer server([&](std::unique_ptr<TDbxChannel> accepted) {
      TDBXFilterSocketChannel peer(std::move(accepted));
      TTransportFilterCollection filters;
      filters.push_back(std::make_unique<ShiftFilter>(3));
      peer.SetAcceptingFilters(std::move(filters));
      const std::string hello = ReadExactly(peer, kHello.size());
      WriteText(peer, hello == kHello ? R"({"result":[5]})" : R"({"result":[-1]})");
      ReadToEnd(peer);
    });
    auto channel = open_client(client_properties(server.Port()));
    EXPECT_EQ(hello_exchange(*channel), 5);
    EXPECT_EQ(dynamic_cast<TDBXFilterSocketChannel&>(*channel).Filters().size(), 1u);
  }
  {
    LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
      ReadExactly(*peer, 5);
      WriteText(*peer, frame(R"({"Shift":{"By":"x"}})"));
      ReadToEnd(*peer);
    });
    auto channel = open_client(client_properties(server.Port()));
    const auto e = error_of<TDBXError>([&] { hello_exchange(*channel); });
    EXPECT_EQ(e.Message(),
              u"Filter Shift rejected setup parameter By given value x. At this point the server "
              u"communication is not possible due to this incompatibility.");
  }
}

TEST(TransportHandshake, AnswerOfNeitherFormFailsTheWrite) {
  for (const std::string& answer : {Bytes({7, 0, 0, 0, 0}), frame("{not json")}) {
    LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
      ReadExactly(*peer, 5);
      WriteText(*peer, answer);
      ReadToEnd(*peer);
    });
    auto channel = open_client(client_properties(server.Port()));
    const std::uint8_t byte = '{';
    EXPECT_EQ(channel->Write(std::span(&byte, 1)), -1);
  }
}

TEST(TransportHandshake, PeerThatClosesEndsReadsWithoutHanging) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    ReadExactly(*peer, 5);
    WriteText(*peer, kUnfiltered);
    ReadExactly(*peer, kHello.size());
    peer->Close();
  });
  auto channel = open_client(client_properties(server.Port()));
  TDBXContext context;
  TDBXJSonStreamWriter writer(*channel, 0);
  writer.WriteFragment(kHello);
  writer.Flush();
  std::uint8_t buffer[16];
  EXPECT_EQ(channel->Read(buffer), 0);
  TDBXJSonStreamReader reader(*channel, 0, context);
  const auto e = error_of<TDBXError>([&] { reader.NextResultObjectStart(); });
  EXPECT_EQ(e.ErrorCode(), 1);
  EXPECT_EQ(e.Message(), u"Read error");
}

TEST(TransportHandshake, ZeroLengthWriteSendsNothing) {
  std::promise<std::string> seen;
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) { seen.set_value(ReadToEnd(*peer)); });
  {
    auto channel = open_client(client_properties(server.Port()));
    EXPECT_EQ(channel->Write({}), 0);
  }
  EXPECT_EQ(seen.get_future().get(), "");
}

TEST(TransportHandshake, DriverNameChoosesTheChannel) {
  for (UStringView name : {u"Datasnap", u"DataSnap", u"DATASNAP", u"dAtAsNaP"}) {
    EXPECT_NE(dynamic_cast<TDBXFilterSocketChannel*>(MakeDriverChannel(name).get()), nullptr);
  }
  // Another driver speaks without the handshake; the accepting side takes
  // its first bytes as data.
  std::promise<std::string> seen;
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> accepted) {
    TDBXFilterSocketChannel peer(std::move(accepted));
    seen.set_value(ReadExactly(peer, kHello.size()));
    WriteText(peer, kReply);
    ReadToEnd(peer);
  });
  auto channel = open_client(client_properties(server.Port()), u"Other");
  EXPECT_NE(dynamic_cast<TDBXSocketChannel*>(channel.get()), nullptr);
  EXPECT_EQ(hello_exchange(*channel), 7);
  EXPECT_EQ(seen.get_future().get(), kHello);
}

TEST(ChannelOpen, FailuresRaiseTheirErrors) {
  {
    TDBXProperties properties = client_properties(1);
    properties.SetValue(u"CommunicationProtocol", u"http");
    const auto e = error_of<TDBXError>([&] { open_client(properties); });
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Message(),
              u"Protocol http can be used after an adequate instance of TDBXCommunicationLayer is "
              u"registered with TDBXCommunicationLayerFactory.");
  }
  {
    TcpSocket socket;
    socket.Create();
    try {
      socket.Create();
      ADD_FAILURE() << "a socket was created twice";
    } catch (const ESocketError& e) {
      EXPECT_EQ(e.Message(), u"Socket already open");
    }
  }
  try {
    open_client(TDBXProperties{{u"Port", u"3063"}});
    ADD_FAILURE() << "opened without a host";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.Message(), u"No address specified");
  }
  {
    std::uint16_t closed_port = 0;
    {
      trial::Listener listener;
      ASSERT_TRUE(listener.open(0, trial::Reach::Loopback));
      closed_port = listener.port();
    }
    try {
      open_client(client_properties(closed_port));
      ADD_FAILURE() << "connected to a closed port";
    } catch (const ESocketError& e) {
      const std::string text = e.what();
      EXPECT_EQ(text.rfind("Windows socket error: ", 0), 0u) << text;
      EXPECT_NE(text.find(" ("), std::string::npos) << text;
      EXPECT_TRUE(text.ends_with("), on API 'connect'")) << text;
    }
  }
  for (UStringView bad : {u"abc", u"12x", u" "}) {
    TDBXProperties properties = client_properties(1);
    properties.SetValue(u"ConnectTimeout", bad);
    EXPECT_THROW(open_client(properties), EConvertError);
  }
  EXPECT_THROW(open_client(TDBXProperties{{u"HostName", u"127.0.0.1"}, {u"Port", u"port"}}),
               EConvertError);
}

TEST(ConnectTimeout, ServerThatNeverAnswersTimesOut) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) { ReadToEnd(*peer); });
  TDBXProperties properties = client_properties(server.Port());
  properties.SetValue(u"ConnectTimeout", u"200");
  auto channel = open_client(properties);
  const auto e = error_of<TDBXError>([&] { hello_exchange(*channel); });
  EXPECT_EQ(e.Message(), u"Connection timeout error");
}

TEST(ConnectTimeout, BoundsOnlyTheFirstRead) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    ReadExactly(*peer, 5);
    WriteText(*peer, kUnfiltered);
    ReadExactly(*peer, kHello.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    WriteText(*peer, kReply);
    ReadToEnd(*peer);
  });
  TDBXProperties properties = client_properties(server.Port());
  properties.SetValue(u"ConnectTimeout", u"200");
  auto channel = open_client(properties);
  EXPECT_EQ(hello_exchange(*channel), 7);
}

TEST(ChannelAbort, EndsABlockedReadAtOnce) {
  LoopbackServer server([&](std::unique_ptr<TDbxChannel> peer) {
    ReadExactly(*peer, 5);
    WriteText(*peer, kUnfiltered);
    ReadToEnd(*peer);
  });
  // The switch belongs to the channel's owner, as a connection's would.
  auto abort = std::make_shared<AbortSwitch>();
  auto channel = open_client(client_properties(server.Port()), u"Datasnap", abort);
  auto blocked = std::async(std::launch::async, [&] {
    try {
      hello_exchange(*channel);
      return UString(u"answered");
    } catch (const TDBXError& e) {
      return e.Message();
    }
  });
  EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  abort->Trip();
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(blocked.get(), u"Read error");
  // Later operations fail at once too, and the channel still closes.
  std::uint8_t buffer[4];
  EXPECT_EQ(channel->Read(buffer), 0);
  channel.reset();
  abort->Trip();  // harmless once the channel is gone
}

TEST(ChannelAbort, EndsABlockedConnectAtOnce) {
  // A listener that never accepts, with its queue filled, leaves further
  // connects waiting for an answer.
  trial::Listener listener;
  ASSERT_TRUE(listener.open(0, trial::Reach::Loopback, 0));
  std::vector<std::unique_ptr<TcpSocket>> fillers;
  for (int i = 0; i < 4; ++i) {
    auto filler = std::make_unique<TcpSocket>();
    auto attempt = std::async(std::launch::async, [&] {
      try {
        filler->Connect(u"127.0.0.1", listener.port());
        return true;
      } catch (const ESocketError&) {
        return false;
      }
    });
    if (attempt.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout) {
      filler->Abort();
      attempt.get();
      break;
    }
    attempt.get();
    fillers.push_back(std::move(filler));
  }
  auto channel = MakeDriverChannel(u"Datasnap");
  channel->SetDbxProperties(client_properties(listener.port()));
  auto abort = channel->AbortHandle();
  auto blocked = std::async(std::launch::async, [&] {
    try {
      channel->Open();
      return std::string("connected");
    } catch (const ESocketError& e) {
      return std::string(e.what());
    }
  });
  if (blocked.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready) {
    GTEST_SKIP() << "this system completes connects to a full queue: " << blocked.get();
  }
  abort->Trip();
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(blocked.get().ends_with("on API 'connect'"));
}

// The host's lookup hangs where the resolver never answers: an abort ends the
// connect's wait for it as it ends the connect's own, and the lookup left
// behind may answer after the channel is gone.
TEST(ChannelAbort, EndsAConnectWaitingForTheHostLookup) {
  testing::StandInResolver resolver;
  std::optional<testing::ScopedTcpLookup> hanging_lookups(std::in_place, resolver.lookup());
  auto channel = MakeDriverChannel(u"Datasnap");
  channel->SetDbxProperties(TDBXProperties{{u"HostName", u"server.invalid"}, {u"Port", u"3063"}});
  auto abort = channel->AbortHandle();
  auto blocked = std::async(std::launch::async, [&] {
    try {
      channel->Open();
      return std::string("connected");
    } catch (const ESocketError& e) {
      return std::string(e.what());
    }
  });
  resolver.wait_until_asked_for(u"server.invalid");
  abort->Trip();
  const bool ended = blocked.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (ended) channel.reset();
  hanging_lookups.reset();
  resolver.release();  // the lookup answers late; a connect still waiting for it ends too
  ASSERT_TRUE(ended) << "the abort did not end the wait for the lookup";
  EXPECT_EQ(blocked.get(), testing::aborted_connect_error());
}

// 127.0.0.1 as a lookup answers it: in network order.
std::uint32_t loopback_address() {
  const std::uint8_t bytes[4] = {127, 0, 0, 1};
  std::uint32_t address = 0;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

// The lookup's answer comes back from its thread: an address connects there,
// a failure connects nowhere.
TEST(HostLookup, TheAnswerFromTheLookupsThreadIsWhereTheConnectGoes) {
  trial::Listener listener;
  ASSERT_TRUE(listener.open(0, trial::Reach::Loopback));
  const std::uint32_t loopback = loopback_address();
  {
    testing::StandInResolver resolver(loopback, 0);
    resolver.release();
    TcpSocket socket(resolver.lookup());
    EXPECT_NO_THROW(socket.Connect(u"server.invalid", listener.port()));
    EXPECT_TRUE(socket.IsConnected());
  }
  {
    testing::StandInResolver resolver(loopback, 1);
    resolver.release();
    TcpSocket socket(resolver.lookup());
    try {
      socket.Connect(u"server.invalid", listener.port());
      ADD_FAILURE() << "connected to a host that was not found";
    } catch (const ESocketError& e) {
      EXPECT_TRUE(std::string(e.what()).ends_with("on API 'connect'")) << e.what();
      EXPECT_NE(std::string(e.what()), testing::aborted_connect_error());
    }
    EXPECT_FALSE(socket.IsConnected());
  }
}

// A host written as an IPv4 address is its own address: the connect asks no
// resolver (and starts no thread for one). Every other form goes to the
// lookup, whose answer (loopback here) is where the connect goes.
TEST(HostLookup, OnlyAHostWrittenAsFourNumbersConnectsWithoutTheLookup) {
  trial::Listener listener;
  ASSERT_TRUE(listener.open(0, trial::Reach::Loopback));
  const std::uint32_t loopback = loopback_address();
  const struct {
    const char16_t* host;
    bool looked_up;
  } cases[] = {
      {u"127.0.0.1", false},      {u"localhost", true},  {u"127.1", true},
      {u"127.0.0.256", true},     {u"127.0.0.01", true}, {u"127.0.0.1.", true},
      {u"127.0.0.1000", true},    {u"127..0.1", true},   {u"0127.0.0.1", true},
  };
  for (const auto& c : cases) {
    testing::StandInResolver resolver(loopback, 0);
    resolver.release();
    TcpSocket socket(resolver.lookup());
    EXPECT_NO_THROW(socket.Connect(c.host, listener.port())) << to_utf8(c.host);
    EXPECT_EQ(resolver.asked(), c.looked_up ? 1 : 0) << to_utf8(c.host);
  }
}

TEST(CommunicationLayers, TcpIpIsRegisteredAndTheListCanChange) {
  const auto ids = TDBXCommunicationLayerFactory::RegisteredLayerList();
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(ids[0], u"tcp/ip");
  EXPECT_NE(TDBXCommunicationLayerFactory::CommunicationLayer(u"TCP/IP"), nullptr);
  EXPECT_EQ(TDBXCommunicationLayerFactory::CommunicationLayer(u"http"), nullptr);

  TDBXCommunicationLayerFactory::RegisterLayer(u"failing", []() -> std::unique_ptr<TDBXCommunicationLayer> {
    throw TDBXError(0, u"cannot");
  });
  EXPECT_EQ(TDBXCommunicationLayerFactory::CommunicationLayer(u"failing"), nullptr);
  TDBXCommunicationLayerFactory::UnregisterLayer(u"failing");
  EXPECT_EQ(TDBXCommunicationLayerFactory::RegisteredLayerList(), ids);
}

}  // namespace
}  // namespace wardenix
