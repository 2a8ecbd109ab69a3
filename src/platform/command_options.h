// Command lines the GNU way, through getopt_long: --name=value as well as
// --name value, unique abbreviations of long names, short names where given,
// options and operands in any order, "--" ending the options. One table of
// options is both what is parsed and what --help prints.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CommandOption {
  const char* name;      // long name, without the dashes
  char shortName;        // 'h', 'V', ...; 0 for none
  const char* argument;  // the value's name in --help ("FILE"); null for a switch
  const char* help;      // what --help says of it; '\n' starts another line
};

// Called for each option found, in command-line order, with its index in the
// table and its value (null for a switch). False, with the reason in `error`,
// for a value it does not take.
using TakeOption = std::function<bool(int index, const char* value, std::string& error)>;

// Parses argv[1 ...]. True with the operands (the arguments that are no
// options) in order; false with one line in `error`: an unknown or ambiguous
// option, a missing value, a value given to a switch, or what `take` said.
bool parseCommandOptions(int argc, const char* const* argv, std::span<const CommandOption> options,
                         const TakeOption& take, std::vector<std::string>& operands,
                         std::string& error);

// The options' lines of --help, the help text starting at `column`:
//   -h, --help          show this help, then exit
//       --record FILE   also write ...
std::string commandOptionsHelp(std::span<const CommandOption> options, std::size_t column);

// A paragraph of a help text: its words filled into lines of at most `width`
// characters (a longer word stands alone), each line ended by a newline.
std::string wrappedText(std::string_view text, std::size_t width);
