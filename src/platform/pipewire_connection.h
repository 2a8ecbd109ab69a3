// The process's one connection to a PipeWire server, for the native wave-audio
// backend: a thread of PipeWire's own runs its main loop (stream and registry
// events), and the context's data thread runs every stream's processing.
// Everything here is for threads other than the data thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_core;
struct pw_context;
struct pw_loop;

// Connects once (later calls say how that went): true while a server answers.
// Takes no longer than a couple of seconds when a server does not answer.
bool pipewireConnected();

// Once the connection broke (the server went away), connects afresh: true if
// a server answers now. The streams of the old connection are to be destroyed
// first.
bool pipewireReconnect();

// `lost` is called on PipeWire's thread, with its lock held, when the
// connection breaks.
void whenPipewireLost(void (*lost)());

// The connection's parts; valid once pipewireConnected() is true. Calls into
// PipeWire other than from its own threads hold pipewireLock.
pw_thread_loop* pipewireMainLoop();
pw_core* pipewireCore();
pw_loop* pipewireDataLoop();

// Holds the main loop's lock for as long as it lives.
struct PipewireLock {
  PipewireLock();
  ~PipewireLock();
  PipewireLock(const PipewireLock&) = delete;
  PipewireLock& operator=(const PipewireLock&) = delete;
};

// Waits, with the lock held, until the server has answered everything asked
// of it so far; false if it has not within a second.
bool pipewireRoundTrip();

// A sink or source the server has, as the desktop names it.
struct PipewireNode {
  std::uint32_t id;
  std::string name;         // node.name: unique, what a stream is linked to
  std::string description;  // node.description: what people read
  bool isSource;            // Audio/Source; otherwise Audio/Sink
};
std::vector<PipewireNode> pipewireNodes();

// The sources (capture devices) or the sinks, in the server's order.
std::vector<PipewireNode> pipewireDevices(bool sources);

// The node.name of the device listed as `description`; empty for the default.
std::string pipewireNodeNamed(const std::string& description, bool source);
