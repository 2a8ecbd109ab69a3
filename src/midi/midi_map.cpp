#include "midi/midi_map.h"
