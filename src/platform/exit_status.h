// The exit statuses of both programs, each with the words their --help says it
// in: the one home of every code, which the programs return and their help
// texts list (the manual pages are held to these tables by a test).
#pragma once

#include <span>
#include <string>

struct ExitStatus {
  int code;
  const char* meaning;  // as --help says it after the code
};

// zephyrix.
constexpr int kExitDone = 0;         // after Power, or the window closed
constexpr int kExitCannotStart = 1;  // start-up or the window system failed
constexpr int kExitUsage = 2;        // a bad command line or environment, an unusable FILE
inline constexpr ExitStatus kUnitExits[] = {
    {kExitDone, "after Power"},
    {kExitCannotStart, "when it cannot start"},
    {kExitUsage, "for a bad command line"},
};

// zephyrix --send, --status and --watch.
constexpr int kRemoteDone = 0;
constexpr int kRemoteNoUnit =
    1;                         // no unit runs, it cannot be reached, or it takes no more watchers
constexpr int kRemoteBad = 2;  // a bad key or command line
constexpr int kRemoteBoxOpen = 3;  // not done: a box is open, or opened, or the unit stops
inline constexpr ExitStatus kRemoteExits[] = {
    {kRemoteDone, "done"},
    {kRemoteNoUnit, "no unit running, or it takes no more watchers"},
    {kRemoteBad, "a bad key or command line"},
    {kRemoteBoxOpen, "not done: a box is or came open in the unit, or it is stopping"},
};

// zephyrix-render; a signal that ends a render exits with kExitSignalBase + its
// number (130 for Ctrl+C).
constexpr int kRenderExitDone = 0;
constexpr int kRenderExitFiles = 1;  // a file cannot be read or written (or memory fails)
constexpr int kRenderExitUsage = 2;
constexpr int kExitSignalBase = 128;
inline constexpr ExitStatus kRenderExits[] = {
    {kRenderExitDone, "when the output is written"},
    {kRenderExitFiles, "when a file cannot be read or written"},
    {kRenderExitUsage, "for a bad command line"},
};

// "0 after Power, 1 when it cannot start, 2 for a bad command line": the
// statuses as a help text lists them.
std::string exitStatusList(std::span<const ExitStatus> statuses);
