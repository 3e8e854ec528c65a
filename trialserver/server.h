#pragma once
// The trial server's run: an optional child, then the listener in the chosen
// fault mode, until it is ended or its time is up.
#include "mainloop/clock.h"
#include "trialserver/options.h"
#include "trialserver/session.h"

namespace wardenix::trial {

// Returns the exit code: 0 when the time given by --exit-after is up, 1 when
// the port cannot be listened on, 2 when the child cannot be started or the
// port file cannot be written.
int run_server(const TrialOptions& options, Clock& clock, const Session& session);

}  // namespace wardenix::trial
