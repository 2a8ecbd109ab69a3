// The unit's state as one JSON object on one line (`zephyrix --status --json`),
// for status bars that take JSON. Its members, in this order:
//
//   "preset", each setting of kWordSettings by its name    strings, lettered as
//                                                          in the status line
//   "gain"      a number with two decimals
//   "sound"     true while sound goes through
//   "text"      the preset's lettering and the names of the settings that are
//               not OFF: "3 echo downsample"
//   "tooltip"   the whole status line
//   "class"     "nosound" while sound = no, else "bypass" while bypass is ON,
//               else "mute" while mute is ON, else "on"
#pragma once

#include <string>
#include <string_view>

#include "remote/unit_status.h"

// Appends `text` as a JSON string: in quotes, quote and backslash escaped,
// every control character (and DEL) as \u00XX; other bytes as they are.
void appendJsonString(std::string& json, std::string_view text);

// The object, without a newline.
std::string unitStatusJson(const UnitStatus& status);

// The "class" member's value, by the rule above.
const char* unitStatusClass(const UnitStatus& status);

// The object's form for the help texts, with the status line's letters for its
// values and T, L, C for the last three: {"preset": "N", ... "class": "C"}.
std::string statusJsonForm();

// The form and what its letters stand for, as --help says it.
std::string statusJsonLegend();
