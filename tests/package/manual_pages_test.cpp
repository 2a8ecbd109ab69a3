// The manual pages in packaging/ are written by hand; these tests hold them to
// the programs' own tables: the tagged entries (.TP) of a page's OPTIONS
// section are exactly the options its program's --help lists, and those of
// zephyrix(1)'s KEYS section exactly the panel's key names.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/command_line.h"
#include "panel/panel_keys.h"
#include "render/render_options.h"

namespace {

std::string readPage(const std::string& name) {
  std::ifstream in(std::string(ZEPHYRIX_PACKAGING_DIR).append("/").append(name));
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The words of the tag lines (each the line after .TP) in one section, read as
// the reader sees them: the macro name, quotes and font changes dropped, "\-"
// as "-", split at spaces, commas and bars.
std::set<std::string> tagWords(const std::string& page, const std::string& section) {
  std::istringstream in(page);
  std::set<std::string> words;
  bool inside = false, tag = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".SH ", 0) == 0) {
      inside = line.substr(4) == section;
      continue;
    }
    if (inside && tag) {
      line = std::regex_replace(line, std::regex(R"(^\.[A-Z]+ |\\f[BIRP]|")"), "");
      line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      std::istringstream split(std::regex_replace(line, std::regex("[,|]"), " "));
      for (std::string w; split >> w;) words.insert(w);
    }
    tag = inside && line == ".TP";
  }
  return words;
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

TEST(ManualPages, ListExactlyThePanelsKeys) {
  std::set<std::string> keys;
  for (const PanelKey& k : panelKeys()) keys.insert(k.name);
  EXPECT_EQ(tagWords(readPage("zephyrix.1"), "KEYS"), keys);
}

}  // namespace
