#include "platform/command_options.h"

#include <getopt.h>

#include <string_view>

namespace {

// getopt_long reports option k of the table as kFirstIndex + k, so that short
// names and long names of one option come back alike.
constexpr int kFirstIndex = 0x100;

std::string shortString(std::span<const CommandOption> options) {
  // ':' first: a missing value is told apart from an unknown option.
  std::string s = ":";
  for (const CommandOption& o : options) {
    if (o.shortName == 0) continue;
    s.push_back(o.shortName);
    if (o.argument != nullptr) s.push_back(':');
  }
  return s;
}

std::vector<option> longTable(std::span<const CommandOption> options) {
  std::vector<option> table;
  for (std::size_t k = 0; k < options.size(); ++k)
    table.push_back({options[k].name, options[k].argument ? required_argument : no_argument,
                     nullptr, kFirstIndex + static_cast<int>(k)});
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
}

int indexOfShort(std::span<const CommandOption> options, int shortName) {
  for (std::size_t k = 0; k < options.size(); ++k)
    if (shortName != 0 && options[k].shortName == shortName) return static_cast<int>(k);
  return -1;
}

// The option getopt_long names in optopt: "-x" for a short name, "--name"
// for a long one.
std::string optionName(std::span<const CommandOption> options, int optopt) {
  if (optopt >= kFirstIndex) return std::string("--") + options[optopt - kFirstIndex].name;
  return std::string{'-', static_cast<char>(optopt)};
}

// Why getopt_long refused the option it names in optopt; for a long name that
// is no option's, or the start of several, optopt is 0 and `arg` is it.
std::string refusal(std::span<const CommandOption> options, int optopt, std::string_view arg) {
  if (optopt >= kFirstIndex) return optionName(options, optopt) + " takes no value";
  if (optopt != 0) return "unknown option '" + optionName(options, optopt) + "'";
  const std::string name(arg.substr(0, arg.find('=')));
  std::string matches;
  for (const CommandOption& o : options)
    if (name.size() > 2 && std::string_view(o.name).starts_with(std::string_view(name).substr(2)))
      matches += (matches.empty() ? "--" : ", --") + std::string(o.name);
  if (matches.find(',') == std::string::npos) return "unknown option '" + name + "'";
  return "ambiguous option '" + name + "' (" + matches + ")";
}

}  // namespace

bool parseCommandOptions(int argc, const char* const* argv, std::span<const CommandOption> options,
                         const TakeOption& take, std::vector<std::string>& operands,
                         std::string& error) {
  // getopt_long moves the operands behind the options, so it gets a copy.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
  args.push_back(nullptr);
  const std::string shorts = shortString(options);
  const std::vector<option> longs = longTable(options);
  optind = 0;  // start afresh, whatever an earlier parse left
  opterr = 0;  // the messages are ours
  for (;;) {
    const int c = getopt_long(argc, args.data(), shorts.c_str(), longs.data(), nullptr);
    if (c == -1) break;
    if (c == ':') {
      const int k = optopt >= kFirstIndex ? optopt - kFirstIndex : indexOfShort(options, optopt);
      error = optionName(options, optopt) + " needs a " + (k >= 0 ? options[k].argument : "value");
      return false;
    }
    if (c == '?') {
      // A long option getopt_long could not place is the argument it just passed.
      error = refusal(options, optopt, args[optind - 1]);
      return false;
    }
    const int k = c >= kFirstIndex ? c - kFirstIndex : indexOfShort(options, c);
    if (!take(k, optarg, error)) return false;
  }
  operands.assign(args.begin() + optind, args.begin() + argc);
  return true;
}

std::string commandOptionsHelp(std::span<const CommandOption> options, std::size_t column) {
  std::string text;
  for (const CommandOption& o : options) {
    std::string left = o.shortName ? std::string("  -") + o.shortName + ", --" : "      --";
    left += o.name;
    if (o.argument != nullptr) left += std::string(" ") + o.argument;
    // Help too long a name and value can have on a line of its own.
    if (left.size() + 2 > column) {
      text += left + "\n";
      left.clear();
    }
    left.resize(column, ' ');
    std::string_view help(o.help);
    for (std::size_t end; (end = help.find('\n')) != std::string_view::npos;) {
      text += left;
      text.append(help.substr(0, end)).push_back('\n');
      help.remove_prefix(end + 1);
      left.assign(column, ' ');
    }
    text += left;
    text.append(help).push_back('\n');
  }
  return text;
}

std::string wrappedText(std::string_view text, std::size_t width) {
  std::string out, line;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t space = text.find(' ', start);
    const std::string_view word =
        text.substr(start, space == std::string_view::npos ? space : space - start);
    start = space == std::string_view::npos ? text.size() : space + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out.append(line).push_back('\n');
      line.clear();
    }
    line.append(line.empty() ? "" : " ").append(word);
  }
  if (!line.empty()) out.append(line).push_back('\n');
  return out;
}
