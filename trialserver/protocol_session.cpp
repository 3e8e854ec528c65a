#include "trialserver/protocol_session.h"

#include <memory>

#include "runtime/errors.h"
#include "trialserver/connection_channel.h"
#include "trialserver/message_dispatch.h"
#include "wire/filter_channel.h"
#include "wire/pass_through_filter.h"

namespace wardenix::trial {
namespace {

std::unique_ptr<TDBXFilterSocketChannel> HandshakeChannel(Connection& connection,
                                                          const TrialOptions& options) {
  auto channel =
      std::make_unique<TDBXFilterSocketChannel>(std::make_unique<ConnectionChannel>(connection));
  switch (options.handshake) {
    case Handshake::Unfiltered:
      break;
    case Handshake::Framed:
      channel->SetAcceptingFilters({});
      break;
    case Handshake::Filter: {
      TTransportFilterCollection filters;
      filters.push_back(std::make_unique<TPassThroughFilter>(from_utf8(options.filter_id)));
      channel->SetAcceptingFilters(std::move(filters));
      break;
    }
  }
  return channel;
}

void RunProtocolSession(Connection& connection, const ProtocolSettings& settings, Clock& clock) {
  const auto channel = HandshakeChannel(connection, settings.options);
  MessageDispatcher dispatcher(*channel, settings, clock);
  try {
    for (;;) {
      switch (dispatcher.HandleNext()) {
        case Outcome::Continue: break;
        case Outcome::End: return;
        case Outcome::Hang: hold_until_closed(connection); return;
      }
    }
  } catch (const TDBXError& error) {
    if (error.ErrorCode() == 1) return;  // the client closed the connection
    // A request that could not be read leaves no place to go on from: the
    // client hears why, then the connection ends.
    try {
      dispatcher.AnswerError({u"TDBXError", error.ErrorCode(), error.Message()});
    } catch (const std::exception&) {
    }
  } catch (const std::exception&) {
    // Anything else ends this connection only.
  }
}

}  // namespace

Session MakeProtocolSession(const TrialOptions& options, Clock& clock) {
  auto settings = std::make_shared<const ProtocolSettings>(MakeProtocolSettings(options));
  return [settings, &clock](Connection& connection) {
    RunProtocolSession(connection, *settings, clock);
  };
}

}  // namespace wardenix::trial
