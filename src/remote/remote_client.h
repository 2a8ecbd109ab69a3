// The other end of the control socket: `zephyrix --send KEY...` and
// `zephyrix --status`, asking the unit that runs. Both return an exit status
// of kRemoteExits (platform/exit_status.h).
#pragma once

#include "remote/remote_request.h"

// Presses the keys of a send request in the running unit. Says what went
// wrong on standard error.
int sendKeysToUnit(const RemoteRequest& request);

// Prints the running unit's status line on standard output.
int printUnitStatus();
