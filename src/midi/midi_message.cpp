#include "midi/midi_message.h"
