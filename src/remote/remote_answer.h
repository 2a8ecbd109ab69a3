// The unit's answers to the requests of remote_request.h, one line each:
//
//   ok[ STATUS]   done; for status the status line follows
//   box           nothing done: a box is open in the unit
//   failed WHY    not done: a box opened to say why (a Save that failed)
//   stopping      not all done: the unit is stopping (Power came before)
//   bad WHY       a request the unit does not take, or could not carry out
//   refused       the asker is not the unit's own user
//   busy          not done: the unit has as many watchers as it takes
//
// A watch request's answer is followed by another ok line at each change.
//
// The server writes them with remoteAnswerLine, the client reads them with
// readRemoteAnswer: the words live here alone.
#pragma once

#include <string>
#include <string_view>

enum RemoteAnswerKind {
  AnswerOk,
  AnswerBox,
  AnswerFailed,
  AnswerStopping,
  AnswerBad,
  AnswerRefused,
  AnswerBusy
};

// The line (with its newline) for an answer and its text, if it has one.
std::string remoteAnswerLine(RemoteAnswerKind kind, std::string_view text = {});

// Reads an answer line (without its newline): the exit code of --send,
// --status and --watch, and in `text` what to print: the status line for ok, otherwise the
// message for standard error. Whatever the unit sent, `text` holds printable
// ASCII alone (any other byte shows as '?'), so a peer cannot drive the
// terminal.
int readRemoteAnswer(std::string_view line, std::string& text);
