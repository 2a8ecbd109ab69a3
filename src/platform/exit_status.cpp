#include "platform/exit_status.h"

std::string exitStatusList(std::span<const ExitStatus> statuses) {
  std::string text;
  for (const ExitStatus& s : statuses)
    text.append(text.empty() ? "" : ", ")
        .append(std::to_string(s.code))
        .append(" ")
        .append(s.meaning);
  return text;
}
