// Any bytes a client sends the control socket: the parser either refuses them
// with one line of why, or takes a request whose every key is a key of the
// panel, within the bounds, that reads back as the same line.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "remote/remote_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RemoteRequest request;
  std::string error;
  const char* bytes = reinterpret_cast<const char*>(data);
  if (!parseRemoteRequest(bytes, size, request, error)) {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  FUZZ_CHECK(size <= kLongestRequest);
  FUZZ_CHECK(request.keyCount >= 0 && request.keyCount <= kMostKeys);
  FUZZ_CHECK(request.kind == RemoteSend ? request.keyCount > 0 : request.keyCount == 0);
  for (int i = 0; i < request.keyCount; ++i)
    FUZZ_CHECK(panelKeyNamed(request.keys[i]->name) == request.keys[i]);
  // Names are taken in any case; read back, the line is the same but for case.
  const std::string line = remoteRequestLine(request);
  FUZZ_CHECK(line.size() == size);
  for (std::size_t i = 0; i < size; ++i)
    FUZZ_CHECK(std::tolower(static_cast<unsigned char>(line[i])) ==
               std::tolower(static_cast<unsigned char>(bytes[i])));
  return 0;
}
