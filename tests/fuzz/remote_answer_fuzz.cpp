// Any line a peer of the control socket answers: the client reads it as one of
// the exit codes of --send and --status, and what it prints holds printable
// ASCII alone, so nothing that listens on the socket can drive the terminal.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/exit_status.h"
#include "remote/remote_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string text;
  const int code = readRemoteAnswer(line, text);
  bool known = false;
  for (const ExitStatus& s : kRemoteExits) known = known || s.code == code;
  FUZZ_CHECK(known);
  for (const char c : text) FUZZ_CHECK(c >= ' ' && c <= '~');
  FUZZ_CHECK(code == kRemoteDone ? line.substr(0, 2) == "ok" : !text.empty());
  return 0;
}
