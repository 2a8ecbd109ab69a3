// The other end of the control socket: `zephyrix --send KEY...`,
// `zephyrix --status` and `zephyrix --watch`, asking the user's own unit that
// runs. Each returns an exit status of kRemoteExits (platform/exit_status.h).
#pragma once

#include "remote/remote_request.h"

// The longest a --send or --status takes, connecting included (and a --watch
// until its first answer); the unit answers well within it, and carries out
// nothing for a client that has given up.
constexpr int kRemoteExchangeLimitMs = 5000;

// Presses the keys of a send request in the running unit. Says what went
// wrong on standard error.
int sendKeysToUnit(const RemoteRequest& request);

// Prints the running unit's status line, or its JSON object, on standard
// output.
int printUnitStatus(bool json);

// Prints the status as printUnitStatus does, then again at each change the
// unit pushes, until the unit ends (kRemoteDone).
int watchUnitStatus(bool json);
