// The other end of the control socket: `zephyrix --send KEY...` and
// `zephyrix --status`, asking the unit that runs.
#pragma once

#include <string>
#include <vector>

// Exit codes of --send and --status.
constexpr int kRemoteDone = 0;
constexpr int kRemoteNoUnit = 1;   // no unit runs, or it cannot be reached
constexpr int kRemoteBad = 2;      // a bad key or command line
constexpr int kRemoteBoxOpen = 3;  // not done: a box is open or opened, or the unit is stopping

// The longest a --send or --status takes, connecting included; the unit answers
// well within it, and carries out nothing for a client that has given up.
constexpr int kRemoteExchangeLimitMs = 5000;

// Presses the keys (names as panelKeyNamed takes them) in the running unit.
// Says what went wrong on standard error.
int sendKeysToUnit(const std::vector<std::string>& keys);

// Prints the running unit's status line on standard output.
int printUnitStatus();
