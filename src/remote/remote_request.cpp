#include "remote/remote_request.h"

#include <iterator>
#include <string_view>

namespace {

// The words of a line, split at single spaces; false for empty words (two
// spaces, a space at either end).
template <typename Take>
bool eachWord(std::string_view line, Take take) {
  while (true) {
    const std::size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    if (word.empty() || !take(word)) return false;
    if (space == std::string_view::npos) return true;
    line.remove_prefix(space + 1);
  }
}

constexpr std::string_view kKindWords[] = {"send", "status", "watch"};  // in RemoteKind order
constexpr std::string_view kJsonWord = "json";

std::string_view kindWord(RemoteKind kind) {
  return kKindWords[kind];
}

bool takeRequestWord(RemoteRequest& request, std::string_view word, std::string& error) {
  for (std::size_t k = 0; k < std::size(kKindWords); ++k)
    if (word == kKindWords[k]) {
      request.kind = static_cast<RemoteKind>(k);
      return true;
    }
  error = std::string("unknown request '").append(word).append("'");
  return false;
}

}  // namespace

bool addRequestKey(RemoteRequest& request, std::string_view name, std::string& error) {
  const PanelKey* key = panelKeyNamed(name);
  if (key == nullptr) {
    error = std::string("'").append(name).append("' is no key of the panel");
    return false;
  }
  if (request.keyCount == kMostKeys) {
    error = "at most " + std::to_string(kMostKeys) + " keys at a time";
    return false;
  }
  request.keys[request.keyCount++] = key;
  return true;
}

bool parseRemoteRequest(const char* bytes, std::size_t length, RemoteRequest& request,
                        std::string& error) {
  request = RemoteRequest{};
  if (length > kLongestRequest) {
    error = "request too long";
    return false;
  }
  const std::string_view all(bytes, length);
  if (all.empty() || all.back() != '\n') {
    error = "request without its newline";
    return false;
  }
  const std::string_view line = all.substr(0, all.size() - 1);
  for (const char c : line)
    if (c < ' ' || c > '~') {
      error = "request with bytes that are no text";
      return false;
    }
  bool first = true;
  const bool wellFormed = eachWord(line, [&](std::string_view word) {
    if (first) {
      first = false;
      return takeRequestWord(request, word, error);
    }
    if (request.kind != RemoteSend) {
      if (word == kJsonWord && !request.json) {
        request.json = true;
        return true;
      }
      error = std::string(kindWord(request.kind)) + " takes nothing but json after it";
      return false;
    }
    return addRequestKey(request, word, error);
  });
  if (!wellFormed) {
    if (error.empty()) error = "request with an empty word";
    return false;
  }
  if (request.kind == RemoteSend && request.keyCount == 0) {
    error = "send without keys";
    return false;
  }
  return true;
}

std::string remoteRequestLine(const RemoteRequest& request) {
  std::string line(kindWord(request.kind));
  if (request.json) line.append(" ").append(kJsonWord);
  for (int i = 0; i < request.keyCount; ++i) line.append(" ").append(request.keys[i]->name);
  line.push_back('\n');
  return line;
}
