// The preset file: the whole bank and the number of the current preset in 644
// bytes of fixed layout, little-endian, with no header or checksum.
//
//   offset   0, 4 bytes    presetIndex
//   offset   4, 400 bytes  presetParams, 10 records of 10 int32, preset 0 first
//   offset 404, 160 bytes  presetPatterns, 10 records of 16 bytes
//   offset 564, 80 bytes   presetGains, 10 slots: the gain as a float, then 4 carried bytes
#pragma once

#include <cstddef>
#include <cstdint>

// Opened by its bare name, so it lies in the current directory.
constexpr char kPresetFileName[] = "PresetFile.KDX";
constexpr int kPresetFileBytes = 644;

// Result codes of the file procedures. Nothing is ever reported to the user;
// the codes are for callers that care (tests, the offline renderer).
constexpr int kPresetFileOk = 0;
constexpr int kPresetFileUnreadable = 1;  // missing or unreadable: the bank is unchanged
constexpr int kPresetFileNotSaved = 2;    // the file on disk is as it was before the save

// Reads "PresetFile.KDX" into presetBank (see loadPresetBytes). Anything but a
// regular file (a folder, a named pipe, a device) is not read, and never waited on.
int loadPresetFile();
// The same for a file named by the caller.
int loadPresetFileFrom(const char* path);

// Lays the first `length` bytes (at most 644) of a preset file image over the
// bank; a short image leaves the rest of the bank as it was, a longer one is cut.
// Every value a setting may not hold (state/settings_table.h), a gain that is
// not a finite number in its range, and a presetIndex outside 0 ... 9 are then
// replaced by their built-in values. The carried words and halves are kept as read.
void loadPresetBytes(const std::uint8_t* bytes, std::size_t length);

// The file image of presetBank.
void encodePresetBank(std::uint8_t (&bytes)[kPresetFileBytes]);

// Writes presetBank to "PresetFile.KDX": the image goes to a temporary file beside
// it, is flushed to disk and then renamed over the old file, so a failed save
// leaves the old file as it was. The temporary is removed on failure. Through a
// symbolic link the file it names is written (the temporary beside it) and the
// link stays; a name taken by a named pipe, socket or device is not written.
int savePresetFile();
// The same for a file named by the caller.
int savePresetFileTo(const char* path);

// Why the last save failed, as an errno value (0 after a successful save).
int presetFileSaveError();
// The same in words for the user: the system's text for the errno value, or
// what the file's name is taken by ("it is a named pipe", a socket, a device).
const char* presetFileSaveReason();

// Test hook: the next save writes only `bytes` bytes of the image and then fails
// as a full disk would. A negative value switches the hook off.
void failPresetFileWriteAfter(int bytes);
