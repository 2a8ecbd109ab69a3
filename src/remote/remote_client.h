// The other end of the control socket: `zephyrix --send KEY...` and
// `zephyrix --status`, asking the user's own unit that runs. Both return an
// exit status of kRemoteExits (platform/exit_status.h).
#pragma once

#include "remote/remote_request.h"

// The longest a --send or --status takes, connecting included; the unit answers
// well within it, and carries out nothing for a client that has given up.
constexpr int kRemoteExchangeLimitMs = 5000;

// Presses the keys of a send request in the running unit. Says what went
// wrong on standard error.
int sendKeysToUnit(const RemoteRequest& request);

// Prints the running unit's status line on standard output.
int printUnitStatus();
