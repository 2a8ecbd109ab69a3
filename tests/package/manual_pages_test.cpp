// The manual pages in packaging/ are written by hand; these tests hold them to
// the programs' own tables: the tagged entries (.TP) of a page's OPTIONS
// section are exactly the options its program's --help lists, those of
// zephyrix(1)'s KEYS section the panel's keys in their help groups, those of
// EXIT STATUS the exit statuses, and what --status prints is described as the
// settings table letters it, its JSON as it is built.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/exit_status.h"
#include "presets/preset_bank.h"
#include "remote/remote_watch.h"
#include "remote/status_json.h"
#include "render/render_options.h"
#include "state/settings_table.h"
#include "support/document_tables.h"

namespace {

using documents::joined;

std::string readPage(const std::string& name) {
  const std::string page = documents::readSource("packaging/" + name);
  EXPECT_FALSE(page.empty()) << name;
  return page;
}

// A line of the page as the reader sees it: the macro name, quotes and font
// changes dropped, "\-" as "-".
std::string shown(std::string line) {
  line = std::regex_replace(line, std::regex(R"(^\.[A-Z]+ ?|\\f[BIRP]|")"), "");
  return std::regex_replace(line, std::regex(R"(\\-)"), "-");
}

// The tag lines (each the line after .TP) of one section, as shown.
std::vector<std::string> tagLines(const std::string& page, const std::string& section) {
  std::istringstream in(page);
  std::vector<std::string> tags;
  bool inside = false, tag = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".SH ", 0) == 0) {
      inside = line.substr(4) == section;
      continue;
    }
    if (inside && tag) tags.push_back(shown(line));
    tag = inside && line == ".TP";
  }
  return tags;
}

// The words of the tag lines, split at spaces, commas and bars.
std::set<std::string> tagWords(const std::string& page, const std::string& section) {
  std::set<std::string> words;
  for (const std::string& line : tagLines(page, section)) {
    std::istringstream split(std::regex_replace(line, std::regex("[,|]"), " "));
    for (std::string w; split >> w;) words.insert(w);
  }
  return words;
}

// The whole page as running text: macro lines but their arguments dropped,
// comments left out.
std::string prose(const std::string& page) {
  std::istringstream in(page);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".\\\"", 0) == 0 || (line[0] == '.' && line.find(' ') == std::string::npos))
      continue;
    text += shown(line) + " ";
  }
  return text;
}

std::set<std::string> optionsOf(const std::set<std::string>& words) {
  std::set<std::string> options;
  for (const std::string& w : words)
    if (w.rfind('-', 0) == 0) options.insert(w);
  return options;
}

// The options a --help text lists: its lines "  -h, --help ..." and
// "      --name VALUE ...".
std::set<std::string> helpOptions(const std::string& help) {
  std::set<std::string> options;
  const std::regex line(R"(^ {2,}(?:(-[A-Za-z]), )?(--[a-z][a-z-]*))", std::regex::multiline);
  for (std::sregex_iterator m(help.begin(), help.end(), line), end; m != end; ++m)
    for (std::size_t group : {1, 2})
      if ((*m)[group].matched) options.insert((*m)[group].str());
  return options;
}

TEST(ManualPages, ListExactlyTheOptionsOfHelp) {
  const struct {
    const char* page;
    std::string help;
  } programs[] = {{"zephyrix.1", commandLineHelp()}, {"zephyrix-render.1", renderUsage()}};
  for (const auto& p : programs) {
    SCOPED_TRACE(p.page);
    const std::set<std::string> listed = helpOptions(p.help);
    EXPECT_GT(listed.size(), 8u);
    EXPECT_EQ(optionsOf(tagWords(readPage(p.page), "OPTIONS")), listed);
  }
}

TEST(ManualPages, ListThePanelsKeysInTheirGroups) {
  std::vector<std::string> groups;
  for (const documents::KeyGroup& g : documents::keyGroups()) {
    std::string names;
    for (const std::string& n : g.names) names += (names.empty() ? "" : " ") + n;
    groups.push_back(names);
  }
  EXPECT_EQ(tagLines(readPage("zephyrix.1"), "KEYS"), groups);
}

TEST(ManualPages, ListTheExitStatusesOfBothPrograms) {
  std::vector<std::string> unit, render;
  for (const ExitStatus& s : kUnitExits) unit.push_back(std::to_string(s.code));
  for (const ExitStatus& s : kRemoteExits) unit.push_back(std::to_string(s.code));
  for (const ExitStatus& s : kRenderExits) render.push_back(std::to_string(s.code));
  render.push_back(std::to_string(kExitSignalBase) + " + the signal's number");
  EXPECT_EQ(tagLines(readPage("zephyrix.1"), "EXIT STATUS"), unit);
  EXPECT_EQ(tagLines(readPage("zephyrix-render.1"), "EXIT STATUS"), render);
}

// The form of the line, and each letter's values as the settings table letters
// them.
TEST(ManualPages, DescribeTheStatusLineAsItIsBuilt) {
  const std::string text = prose(readPage("zephyrix.1"));
  std::vector<std::string> said = {
      unitStatusForm(),
      "(1 to " + std::to_string(kPresetCount - 1) + ", 0 for the tenth)",
      std::string("each S is ") + kSwitchValues[1].lettering + " or " + kSwitchValues[0].lettering,
  };
  for (const WordSetting& s : kWordSettings) {
    if (s.values.data() == std::data(kSwitchValues)) continue;
    std::vector<std::string> letterings;
    for (const SettingValue& v : s.values) letterings.push_back(v.lettering);
    for (const auto& [name, letter] : documents::statusFields())
      if (name == s.name) said.push_back(letter + " is " + joined(letterings, " or ") + ";");
  }
  char gain[64];
  std::snprintf(gain, sizeof gain, "(%.2f to %.2f)", kGainRange.low, kGainRange.high);
  said.push_back(gain);
  // The JSON object's form, its quotes dropped as the page shows them, and the
  // watchers' limit.
  said.push_back(std::regex_replace(statusJsonForm(), std::regex("\""), ""));
  said.push_back("takes " + std::to_string(kMostWatchers) + " watchers at once");
  for (const std::string& words : said) EXPECT_NE(text.find(words), std::string::npos) << words;
}

}  // namespace
