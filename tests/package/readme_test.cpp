// The README is written by hand; these tests hold what it says of the keys,
// the status line, the exit statuses, the version, the default MIDI map and the
// folders to the tables and the tree they describe.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "midi/midi_map.h"
#include "platform/exit_status.h"
#include "platform/version.h"
#include "presets/preset_bank.h"
#include "remote/remote_watch.h"
#include "remote/status_json.h"
#include "state/settings_table.h"
#include "support/document_tables.h"

namespace {

std::string readme() {
  return documents::readSource("README.md");
}

// The README's typography, as the help texts write it.
std::string plain(std::string text) {
  text = std::regex_replace(text, std::regex("…"), "...");
  return std::regex_replace(text, std::regex("−"), "-");
}

// The key table's rows, each a group: the names in backquotes, "`1` … `9`"
// standing for every digit between, and what the keys do.
std::vector<documents::KeyGroup> readmeKeyGroups() {
  std::istringstream in(readme());
  std::vector<documents::KeyGroup> rows;
  bool inside = false;
  const std::regex cells(R"(^\| (.*) \| (.*) \|$)"), name("`([^`]+)`( … )?");
  for (std::string line; std::getline(in, line);) {
    if (line == "| key | control |") inside = true;
    std::smatch row;
    if (!inside || line.rfind("|---", 0) == 0 || line == "| key | control |") continue;
    if (!std::regex_match(line, row, cells)) break;
    documents::KeyGroup group{{}, plain(row[2])};
    const std::string keys = row[1];
    bool range = false;
    for (std::sregex_iterator m(keys.begin(), keys.end(), name), end; m != end; ++m) {
      const std::string key = (*m)[1];
      for (char c = range ? group.names.back()[0] + 1 : key[0]; range && c < key[0]; ++c)
        group.names.push_back(std::string(1, c));
      group.names.push_back(key);
      range = (*m)[2].matched;
    }
    rows.push_back(group);
  }
  return rows;
}

TEST(Readme, KeyTableIsThePanelsKeys) {
  const std::vector<documents::KeyGroup> expected = documents::keyGroups(),
                                         rows = readmeKeyGroups();
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].names, expected[i].names) << expected[i].help;
    EXPECT_EQ(rows[i].help, expected[i].help);
  }
}

// The example line has the fields in the line's order, each value one its
// setting may show; the values and ranges listed are the table's.
TEST(Readme, StatusLineIsDescribedAsItIsBuilt) {
  const std::string text = readme();
  std::smatch example;
  ASSERT_TRUE(std::regex_search(text, example, std::regex("\npreset=[^\n]*")));
  std::istringstream fields(example.str());
  for (const auto& [name, letter] : documents::statusFields()) {
    std::string field;
    fields >> field;
    ASSERT_EQ(field.substr(0, field.find('=')), name) << example.str();
    const std::string value = field.substr(field.find('=') + 1);
    bool known = name == "preset" ? std::regex_match(value, std::regex("[0-9]"))
                 : name == "gain" ? std::regex_match(value, std::regex("[0-4]\\.[0-9][0-9]"))
                                  : name == "sound" && (value == "yes" || value == "no");
    for (const WordSetting& s : kWordSettings)
      if (name == s.name)
        for (const SettingValue& v : s.values) known = known || value == v.lettering;
    EXPECT_TRUE(known) << field;
  }
  std::string readouts;
  for (const WordSetting& s : kWordSettings) {
    if (s.values.data() == std::data(kSwitchValues)) continue;
    std::vector<std::string> letterings;
    for (const SettingValue& v : s.values) letterings.push_back(v.lettering);
    readouts += (readouts.empty() ? "(" : "; ") + documents::joined(letterings, ", ");
  }
  char gain[64];
  std::snprintf(gain, sizeof gain, "(%.2f ... %.2f)", kGainRange.low, kGainRange.high);
  const std::string said[] = {
      readouts + ")",
      gain,
      "(1 ... " + std::to_string(kPresetCount - 1) + ", 0 for the tenth)",
      std::string("the switches ") + kSwitchValues[1].lettering + " or " +
          kSwitchValues[0].lettering,
  };
  const std::string flowing = plain(std::regex_replace(text, std::regex("\n"), " "));
  for (const std::string& words : said) EXPECT_NE(flowing.find(words), std::string::npos) << words;
}

// The JSON example is what the unit prints for the state it shows, member for
// member; the watchers' limit is the unit's.
TEST(Readme, StatusJsonIsShownAsItIsBuilt) {
  const std::string text = readme();
  std::smatch example;
  ASSERT_TRUE(std::regex_search(text, example, std::regex("\n\\{\"preset\"[^\n]*")));
  UnitStatus shown;
  shown.presetIndex = 2;
  shown.settings[kWordEchoBlocks] = 2;
  shown.settings[kWordReverseOn] = 1;
  shown.settings[kWordDownsampleFactor] = 2;
  shown.gain = 1.0f;
  shown.sound = true;
  EXPECT_EQ(example.str().substr(1), unitStatusJson(shown));
  const std::string limit = "takes " + std::to_string(kMostWatchers) + " watchers at once";
  EXPECT_NE(std::regex_replace(text, std::regex("\\s+"), " ").find(limit), std::string::npos);
}

// A cell's names in backquotes, "`program 0` … `program 9`" standing for every
// number between.
std::vector<std::string> numberedNames(const std::string& cell) {
  std::vector<std::string> names;
  const std::regex name("`([^`]+)`( … )?");
  bool range = false;
  for (std::sregex_iterator m(cell.begin(), cell.end(), name), end; m != end; ++m) {
    const std::string last = (*m)[1], stem = last.substr(0, last.rfind(' ') + 1);
    for (int k = range ? std::stoi(names.back().substr(stem.size())) + 1 : 0;
         range && k < std::stoi(last.substr(stem.size())); ++k)
      names.push_back(stem + std::to_string(k));
    names.push_back(last);
    range = (*m)[2].matched;
  }
  return names;
}

// The MIDI section's table read as a map file, and its example map file.
TEST(Readme, MidiMapIsTheDefaultAndTheExampleReads) {
  const std::string text = readme();
  // The default map's table, then the map file's example.
  const std::size_t start =
      text.find("| message | control |", text.find("## With a MIDI controller"));
  ASSERT_NE(start, std::string::npos);
  std::istringstream in(text.substr(start, text.find("\n## ", start + 1) - start));
  std::string table, example, line;
  const std::regex cells(R"(^\| (.*) \| (.*) \|$)");
  while (std::getline(in, line) && line != "```") {
    std::smatch row;
    if (!std::regex_match(line, row, cells)) continue;
    const std::vector<std::string> messages = numberedNames(row[1]),
                                   controls = numberedNames(row[2]);
    EXPECT_EQ(messages.size(), controls.size()) << line;
    for (std::size_t i = 0; i < messages.size() && i < controls.size(); ++i)
      table += messages[i] + " = " + controls[i] + "\n";
  }
  while (std::getline(in, line) && line != "```") example += line + "\n";

  MidiMap map;
  MidiMapError error{0, ""};
  ASSERT_TRUE(parseMidiMap(table, &map, &error)) << error.line << ": " << error.reason;
  const MidiMap& built = defaultMidiMap();
  ASSERT_EQ(map.count, built.count);
  for (int i = 0; i < built.count; ++i) {
    const MidiBinding& b = built.bindings[i];
    const MidiBinding* read = midiBindingFor(map, {b.kind, built.channel, b.number, 127});
    ASSERT_NE(read, nullptr) << "message " << int(b.number);
    EXPECT_EQ(read->buttonId, b.buttonId) << "message " << int(b.number);
  }
  EXPECT_TRUE(parseMidiMap(example, &map, &error)) << error.line << ": " << error.reason;
  EXPECT_EQ(map.channel, 10);
}

// The codes the sentence "LEAD 0 ..., 1 ..., 2 ...." lists, asides in
// parentheses left out.
std::vector<int> codesAfter(const std::string& lead) {
  std::string text = std::regex_replace(readme(), std::regex("\\s+"), " ");
  text = std::regex_replace(text, std::regex(R"( \([^)]*\))"), "");
  const std::size_t start = text.find(lead);
  if (start == std::string::npos) return {};
  const std::string sentence = text.substr(start, text.find(". ", start) - start);
  std::vector<int> codes;
  const std::regex code(R"((?:: |, )([0-9]+) )");
  for (std::sregex_iterator m(sentence.begin(), sentence.end(), code), end; m != end; ++m)
    codes.push_back(std::stoi((*m)[1]));
  return codes;
}

TEST(Readme, ExitStatusesAreTheTables) {
  std::vector<int> unit, remote;
  for (const ExitStatus& s : kUnitExits) unit.push_back(s.code);
  for (const ExitStatus& s : kRemoteExits) remote.push_back(s.code);
  EXPECT_EQ(codesAfter("- Exit status: "), unit);
  EXPECT_EQ(codesAfter("Exit status of `--send`, `--status` and `--watch`: "), remote);
}

TEST(Readme, PackageNamesTheVersion) {
  const std::string text = readme();
  const std::regex package(R"(zephyrix_([0-9.]+)-1_amd64\.deb)");
  int found = 0;
  for (std::sregex_iterator m(text.begin(), text.end(), package), end; m != end; ++m, ++found)
    EXPECT_EQ((*m)[1], kZephyrixVersion);
  EXPECT_GT(found, 0);
}

// Every folder of the tree and of src/ has its line in the Layout section.
TEST(Readme, LayoutNamesEveryFolder) {
  const std::string text = readme();
  const std::size_t start = text.find("## Layout");
  ASSERT_NE(start, std::string::npos);
  const std::string layout = text.substr(start, text.find("\n## ", start + 1) - start);
  const std::filesystem::path root(ZEPHYRIX_SOURCE_DIR);
  std::vector<std::string> folders;
  for (const auto& e : std::filesystem::directory_iterator(root))
    if (e.is_directory()) folders.push_back(e.path().filename().string() + "/");
  for (const auto& e : std::filesystem::directory_iterator(root / "src"))
    if (e.is_directory()) folders.push_back("src/" + e.path().filename().string() + "/");
  for (const std::string& folder : folders) {
    if (folder == ".git/" || folder == "build/") continue;  // git's own, and the builds (ignored)
    EXPECT_NE(layout.find("\n" + folder), std::string::npos) << folder;
  }
}

}  // namespace
