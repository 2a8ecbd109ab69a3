#include "midi/midi_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "panel/button_table.h"

namespace {

constexpr MidiBinding kDefaultBindings[] = {
    {MidiKind::Program, 0, Preset1},
    {MidiKind::Program, 1, Preset2},
    {MidiKind::Program, 2, Preset3},
    {MidiKind::Program, 3, Preset4},
    {MidiKind::Program, 4, Preset5},
    {MidiKind::Program, 5, Preset6},
    {MidiKind::Program, 6, Preset7},
    {MidiKind::Program, 7, Preset8},
    {MidiKind::Program, 8, Preset9},
    {MidiKind::Program, 9, Preset10},
    {MidiKind::Control, 80, Echo},
    {MidiKind::Control, 81, Flanger},
    {MidiKind::Control, 82, Slicer},
    {MidiKind::Control, 83, Reverse},
    {MidiKind::Control, 84, DownsamplerSwitch},
    {MidiKind::Control, 85, Mute},
    {MidiKind::Control, 86, Bypass},
    {MidiKind::Control, 87, DelayDown},
    {MidiKind::Control, 88, DelayUp},
    {MidiKind::Control, 89, DownsamplerDown},
    {MidiKind::Control, 90, DownsamplerUp},
    {MidiKind::Control, 7, GainTrack},
};

// A control's name in a map file, its words lower case and one space apart.
struct ControlName {
  std::string_view name;
  ButtonId id;
};

constexpr ControlName kControlNames[] = {
    {"echo", Echo},
    {"flanger", Flanger},
    {"slicer", Slicer},
    {"reverse", Reverse},
    {"downsampler", DownsamplerSwitch},
    {"mute", Mute},
    {"bypass", Bypass},
    {"save", Save},
    {"delay up", DelayUp},
    {"delay down", DelayDown},
    {"downsampler up", DownsamplerUp},
    {"downsampler down", DownsamplerDown},
    {"gain", GainTrack},
};

// Numbered controls: "preset 1" ... "preset 10", "step 1" ... "step 16".
struct ControlRow {
  std::string_view name;
  ButtonId first;
  int count;
};

constexpr ControlRow kControlRows[] = {
    {"preset", Preset1, 10},
    {"step", Step1, 16},
};

// Statements that bind a message, by their first word.
struct MessageWord {
  std::string_view word;
  MidiKind kind;
};

constexpr MessageWord kMessageWords[] = {
    {"cc", MidiKind::Control},
    {"note", MidiKind::NoteOn},
    {"program", MidiKind::Program},
};

constexpr int kLargestNumber = 127;
constexpr int kChannels = 16;
constexpr off_t kLargestFile = 64 * 1024;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The words of a line without its comment; "=" is a word of its own.
std::vector<std::string> wordsOf(std::string_view line) {
  line = line.substr(0, line.find('#'));
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (isSpace(line[i])) {
      ++i;
    } else if (line[i] == '=') {
      words.emplace_back("=");
      ++i;
    } else {
      std::string word;
      for (; i < line.size() && !isSpace(line[i]) && line[i] != '='; ++i)
        word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(line[i]))));
      words.push_back(std::move(word));
    }
  }
  return words;
}

// The number a word spells, or -1 (also for one far beyond any range here).
int numberOf(std::string_view word) {
  if (word.empty() || word.size() > 6) return -1;
  int number = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string quoted(std::string_view word) {
  return std::string("\"").append(word).append("\"");
}

// The number after `what`, within first ... last, or an error.
bool takeNumber(const std::vector<std::string>& words, std::string_view what, int first, int last,
                int* number, std::string* reason) {
  if (words.size() < 2 || words[1] == "=") {
    *reason = std::string(what) + " needs a number";
    return false;
  }
  *number = numberOf(words[1]);
  if (*number < first || *number > last) {
    *reason = std::string(what) + " number " + words[1] + " is not " + std::to_string(first) +
              " ... " + std::to_string(last);
    return false;
  }
  return true;
}

ButtonId controlNamed(std::string_view name) {
  for (const ControlName& control : kControlNames)
    if (control.name == name) return control.id;
  for (const ControlRow& row : kControlRows) {
    if (name.size() <= row.name.size() + 1 || !name.starts_with(row.name) ||
        name[row.name.size()] != ' ')
      continue;
    const int k = numberOf(name.substr(row.name.size() + 1));
    if (k >= 1 && k <= row.count) return static_cast<ButtonId>(row.first + k - 1);
  }
  return NoButton;
}

const MidiBinding* bindingOf(const MidiMap& map, MidiKind kind, int number) {
  for (int i = 0; i < map.count; ++i)
    if (map.bindings[i].kind == kind && map.bindings[i].number == number) return &map.bindings[i];
  return nullptr;
}

bool takeChannel(const std::vector<std::string>& words, MidiMap* map, bool* channelSet,
                 std::string* reason) {
  int channel = 0;
  if (!takeNumber(words, "channel", 1, kChannels, &channel, reason)) return false;
  if (words.size() > 2) {
    *reason = "unexpected " + quoted(words[2]);
    return false;
  }
  if (*channelSet) {
    *reason = "the channel is set twice";
    return false;
  }
  *channelSet = true;
  map->channel = static_cast<std::uint8_t>(channel);
  return true;
}

bool takeBinding(const std::vector<std::string>& words, MidiKind kind, MidiMap* map,
                 std::string* reason) {
  const std::string& what = words[0];
  int number = 0;
  if (!takeNumber(words, what, 0, kLargestNumber, &number, reason)) return false;
  if (words.size() < 3 || words[2] != "=") {
    *reason = "expected \"=\"";
    return false;
  }
  if (words.size() < 4) {
    *reason = "expected a control after \"=\"";
    return false;
  }
  std::string name = words[3];
  for (std::size_t i = 4; i < words.size(); ++i) name.append(" ").append(words[i]);
  const ButtonId id = controlNamed(name);
  if (id == NoButton) {
    *reason = "unknown control " + quoted(name);
    return false;
  }
  if (id == GainTrack && kind != MidiKind::Control) {
    *reason = "gain needs a cc";
    return false;
  }
  if (bindingOf(*map, kind, number) != nullptr) {
    *reason = what + " " + words[1] + " is mapped twice";
    return false;
  }
  map->bindings[map->count++] = {kind, static_cast<std::uint8_t>(number), id};
  return true;
}

bool takeLine(std::string_view line, MidiMap* map, bool* channelSet, std::string* reason) {
  const std::vector<std::string> words = wordsOf(line);
  if (words.empty()) return true;
  if (words[0] == "channel") return takeChannel(words, map, channelSet, reason);
  for (const MessageWord& message : kMessageWords)
    if (words[0] == message.word) return takeBinding(words, message.kind, map, reason);
  *reason = "unknown word " + quoted(words[0]);
  return false;
}

void keepDefault(const std::string& where, const std::string& reason, MidiMap* map) {
  std::fprintf(stderr, "zephyrix: %s: %s; the default MIDI map stays\n", where.c_str(),
               reason.c_str());
  *map = defaultMidiMap();
}

// The whole of a regular file of at most kLargestFile bytes in *text; false
// with *reason if it cannot be read (ENOENT in *missing).
bool readMapFile(const std::string& path, std::string* text, bool* missing, std::string* reason) {
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *missing = errno == ENOENT;
    *reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool good = fstat(fd, &st) == 0;
  if (!good) {
    *reason = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *reason = "not a regular file";
    good = false;
  } else if (st.st_size > kLargestFile) {
    *reason = "larger than 64 KiB";
    good = false;
  }
  char buffer[4096];
  while (good && text->size() <= static_cast<std::size_t>(kLargestFile)) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = std::strerror(errno);
      good = false;
    }
    if (n <= 0) break;
    text->append(buffer, static_cast<std::size_t>(n));
  }
  // A file that grew since fstat.
  if (good && text->size() > static_cast<std::size_t>(kLargestFile)) {
    *reason = "larger than 64 KiB";
    good = false;
  }
  close(fd);
  return good;
}

}  // namespace

const MidiMap& defaultMidiMap() {
  static const MidiMap map = [] {
    MidiMap m{};
    m.channel = 1;
    for (const MidiBinding& binding : kDefaultBindings) m.bindings[m.count++] = binding;
    return m;
  }();
  return map;
}

bool parseMidiMap(std::string_view text, MidiMap* map, MidiMapError* error) {
  MidiMap parsed{};
  parsed.channel = 1;
  bool channelSet = false;
  int line = 0;
  while (!text.empty()) {
    ++line;
    const std::size_t end = text.find('\n');
    std::string reason;
    if (!takeLine(text.substr(0, end), &parsed, &channelSet, &reason)) {
      *error = {line, reason};
      return false;
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  *map = parsed;
  return true;
}

const MidiBinding* midiBindingFor(const MidiMap& map, const MidiEvent& event) {
  if (event.kind == MidiKind::None || event.channel != map.channel) return nullptr;
  const MidiKind kind = event.kind == MidiKind::NoteOff ? MidiKind::NoteOn : event.kind;
  return bindingOf(map, kind, event.number);
}

std::string midiMapPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] != '\0') return std::string(config) + "/zephyrix/midi.conf";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/zephyrix/midi.conf";
  return "";
}

void loadMidiMap(const std::string& path, MidiMap* map) {
  std::string text;
  bool missing = false;
  std::string reason;
  if (!readMapFile(path, &text, &missing, &reason)) {
    if (missing)
      *map = defaultMidiMap();
    else
      keepDefault(path, reason, map);
    return;
  }
  MidiMapError error;
  if (!parseMidiMap(text, map, &error))
    keepDefault(path + ":" + std::to_string(error.line), error.reason, map);
}
