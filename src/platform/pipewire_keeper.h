// Keeps the native backend's devices through a restart of the sound server.
// While a device is open a thread of ours waits for the connection to break;
// then it says so on stderr, marks the sound lost and has the backend drop its
// streams (the devices stay open, their descriptors queued), and looks for a
// server every half second. Once one answers it connects again, has the
// backend make its streams afresh, says so, and the sound goes on.
#pragma once

struct PipewireKeeping {
  void (*drop)();     // destroys the devices' streams, keeping the devices
  bool (*restore)();  // makes them again on the new connection; false: try later
};

// Has the keeper keep these too (the audio devices, the MIDI nodes), starting
// it if it is not running; the same keeping twice counts once. Each drop and
// restore is called for every keeping, in the order they came, and must do
// nothing for what is not open. Not from the keeper's own calls.
void keepPipewireDevices(const PipewireKeeping& keeping);

// Forgets the keeping; with none left, stops the keeper, waiting for the call
// it may be in. Not from the keeper's own calls.
void stopKeepingPipewireDevices(const PipewireKeeping& keeping);
