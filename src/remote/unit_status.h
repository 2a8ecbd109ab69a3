// The unit's state on one line, in a form that stays the same from release to
// release, for status bars and scripts (`zephyrix --status`):
//
//   preset=N echo=E slicer=S reverse=S downsample=D flanger=S mute=S bypass=S gain=G sound=Y
//
// N is the current preset's button as lettered (1 ... 9, 0 for the tenth); the
// settings come in the order of kWordSettings, each lettered as its readout or
// switch shows it (echo OFF, 1/4S, 1/2S, 1S, 2S; downsample OFF, X2, X4, X8;
// switches OFF, ON); G is the output gain with two decimals (0.00 ... 4.00); Y
// is yes while sound goes through, no while the unit waits for its sound
// server or devices.
// The fields, the form and its legend are built from the settings table; the
// line and the JSON object of status_json.h are both made of the fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/settings_table.h"

// What the line tells, copied from the live settings: the window thread takes
// it, the control socket's thread letters it.
struct UnitStatus {
  int presetIndex = 0;
  std::int32_t settings[kWordSettingCount] = {};  // in kWordSettings order
  float gain = 0.0f;
  bool sound = false;
  bool operator==(const UnitStatus&) const = default;
};

// The current state. Window thread only.
UnitStatus readUnitStatus();

enum StatusFieldKind { FieldText, FieldNumber, FieldYesNo };

struct StatusField {
  const char* name;
  std::string text;  // as the line shows it
  StatusFieldKind kind;
};

// The line's fields in its order: preset, the settings, gain, sound.
std::vector<StatusField> unitStatusFields(const UnitStatus& status);

std::string unitStatusLine(const UnitStatus& status);

// The line's form with a letter for each value, as above.
std::string unitStatusForm();

// What --help says of the letters: "N the preset button's lettering ...".
std::string unitStatusLegend();
