#include "remote/remote_answer.h"

#include "platform/exit_status.h"

namespace {

struct AnswerWord {
  RemoteAnswerKind kind;
  std::string_view word;
  int exitCode;
  bool takesText;         // a text may follow the word
  std::string_view says;  // before the answer's text, on standard error
};

constexpr AnswerWord kAnswerWords[] = {
    {AnswerOk, "ok", kRemoteDone, true, ""},
    {AnswerBox, "box", kRemoteBoxOpen, false, "not done: a box is open in the unit"},
    {AnswerFailed, "failed", kRemoteBoxOpen, true, "not done: "},
    {AnswerStopping, "stopping", kRemoteBoxOpen, false, "not done: the unit is stopping"},
    {AnswerBad, "bad", kRemoteBad, true, "the unit says: "},
    {AnswerRefused, "refused", kRemoteNoUnit, false, "the unit answers only its own user"},
    {AnswerBusy, "busy", kRemoteNoUnit, false, "the unit has as many watchers as it takes"},
};

std::string printable(std::string_view bytes) {
  std::string text(bytes);
  for (char& c : text)
    if (c < ' ' || c > '~') c = '?';
  return text;
}

}  // namespace

std::string remoteAnswerLine(RemoteAnswerKind kind, std::string_view text) {
  std::string line;
  for (const AnswerWord& a : kAnswerWords)
    if (a.kind == kind) line = a.word;
  if (!text.empty()) line.append(" ").append(text);
  return line + "\n";
}

int readRemoteAnswer(std::string_view line, std::string& text) {
  const std::size_t space = line.find(' ');
  const std::string_view word = line.substr(0, space);
  const std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
  for (const AnswerWord& a : kAnswerWords) {
    if (word != a.word || (!a.takesText && space != std::string_view::npos)) continue;
    text = printable(std::string(a.says).append(rest));
    return a.exitCode;
  }
  text = printable("the unit gave an answer it should not: " + std::string(line.substr(0, 80)));
  return kRemoteNoUnit;
}
