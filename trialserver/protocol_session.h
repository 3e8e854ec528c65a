#pragma once
// The session that speaks the remote-call protocol on a connection: the
// transport handshake as the command line chose it, then request after
// request until the client disconnects or goes away.
#include "mainloop/clock.h"
#include "trialserver/options.h"
#include "trialserver/session.h"

namespace wardenix::trial {

// `clock` must outlive every session; the sessions share what the options
// make (the GR_VERSAO packet is built once, here).
Session MakeProtocolSession(const TrialOptions& options, Clock& clock);

}  // namespace wardenix::trial
