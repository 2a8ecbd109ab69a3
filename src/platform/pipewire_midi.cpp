// The MIDI nodes are two filters of one MIDI port each on the process's
// PipeWire connection, processed on its data thread in the same cycles as the
// audio (a press is in the graph's hands for one cycle, however short). Like
// the audio's, their process callbacks neither lock nor wait: what comes in
// goes through a ring to PipeWire's main-loop thread, woken by an event, and
// from there to the window thread; what the lights are to show comes from the
// window thread through another ring. A registry listener follows the graph's
// MIDI ports and links: it links the chosen source to the input whenever that
// appears, and tells of every link made to the output.
#include "platform/midi_ports.h"

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/control/control.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/pipewire_connection.h"
#include "platform/pipewire_keeper.h"
#include "platform/wave_audio.h"

namespace {

struct MidiNodeInfo {
  const char* name;
  const char* description;
  const char* mediaClass;
  pw_direction direction;
  const char* portName;
};

constexpr MidiNodeInfo kControlInfo{"zephyrix_control", "Zephyrix control", "Midi/Sink",
                                    PW_DIRECTION_INPUT, "control"};
constexpr MidiNodeInfo kFeedbackInfo{"zephyrix_feedback", "Zephyrix feedback", "Midi/Source",
                                     PW_DIRECTION_OUTPUT, "feedback"};

struct MidiNode {
  pw_filter* filter;
  spa_hook listener;
  void* port;
};

// A MIDI port or a node of the graph, as the registry told of it.
struct SeenPort {
  std::uint32_t id, node;
  bool output;
  std::string name, alias;
};
struct SeenNode {
  std::uint32_t id;
  std::string name, description;
};

// Set by the window thread while the nodes are wanted; the connection (and
// its lock) exists only once they were.
std::atomic<bool> opened{false};
// Under the PipeWire lock (its thread holds it in every callback).
MidiPorts setup{};
MidiNode control{}, feedback{};
pw_registry* registry = nullptr;
spa_hook registryListener{};
std::vector<SeenPort> ports;
std::vector<SeenNode> nodes;
std::vector<std::uint32_t> feedbackLinks;  // links whose output is ours
std::vector<std::uint32_t> linkedSources;  // source ports linked to the input by us
std::vector<pw_proxy*> links;              // the links we made; they go with their proxies

// Messages on their way, each in a word: its bytes, then its length in the
// top byte. One thread puts, one other takes, and neither waits: a full ring
// drops what does not fit.
struct MidiRing {
  static constexpr std::uint32_t kSize = 512;  // a power of two
  std::uint32_t words[kSize];
  std::atomic<std::uint32_t> put{0}, taken{0};

  void push(std::uint32_t word) {
    const std::uint32_t p = put.load(std::memory_order_relaxed);
    if (p - taken.load(std::memory_order_acquire) == kSize) return;
    words[p % kSize] = word;
    put.store(p + 1, std::memory_order_release);
  }
  bool pop(std::uint32_t* word) {
    const std::uint32_t t = taken.load(std::memory_order_relaxed);
    if (t == put.load(std::memory_order_acquire)) return false;
    *word = words[t % kSize];
    taken.store(t + 1, std::memory_order_release);
    return true;
  }
};

std::uint32_t wordOf(const std::uint8_t* bytes, std::uint32_t size) {
  std::uint32_t word = size << 24;
  for (std::uint32_t i = 0; i < size; ++i) word |= std::uint32_t{bytes[i]} << (8 * i);
  return word;
}

MidiRing received;                                // data thread to PipeWire's main-loop thread
MidiRing lights;                                  // window thread to the data thread
std::atomic<spa_source*> receivedEvent{nullptr};  // wakes the main-loop thread
std::atomic<bool> listened{false};                // something is linked to the output

// --- Processing -----------------------------------------------------------------

bool isMidiBytes(const spa_pod_control& c) {
  return c.type == SPA_CONTROL_Midi && c.value.type == SPA_TYPE_Bytes;
}

// Each process callback is handed its port.
void processControl(void* port, spa_io_position*) {
  pw_buffer* b = pw_filter_dequeue_buffer(port);
  if (b == nullptr) return;
  spa_data& d = b->buffer->datas[0];
  auto* pod = d.data != nullptr && d.chunk != nullptr
                  ? static_cast<spa_pod*>(
                        spa_pod_from_data(d.data, d.maxsize, d.chunk->offset, d.chunk->size))
                  : nullptr;
  bool any = false;
  if (pod != nullptr && spa_pod_is_sequence(pod)) {
    spa_pod_control* c;
    SPA_POD_SEQUENCE_FOREACH(reinterpret_cast<spa_pod_sequence*>(pod), c) {
      const std::uint32_t size = SPA_POD_BODY_SIZE(&c->value);
      if (!isMidiBytes(*c) || size == 0 || size > 3) continue;  // no channel message
      received.push(wordOf(static_cast<const std::uint8_t*>(SPA_POD_BODY(&c->value)), size));
      any = true;
    }
  }
  pw_filter_queue_buffer(port, b);
  if (any) pw_loop_signal_event(pw_thread_loop_get_loop(pipewireMainLoop()), receivedEvent.load());
}

// PipeWire's main-loop thread, woken by the input: hands each message on.
void onReceived(void*, std::uint64_t) {
  for (std::uint32_t word; received.pop(&word);) {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(word),
                                   static_cast<std::uint8_t>(word >> 8),
                                   static_cast<std::uint8_t>(word >> 16)};
    if (setup.received != nullptr) setup.received(bytes, word >> 24);
  }
}

// The space one message takes in a sequence: its control header and its
// bytes, padded to 8.
constexpr std::uint32_t kControlSpace = sizeof(spa_pod_control) + 8;

void processFeedback(void* port, spa_io_position*) {
  pw_buffer* b = pw_filter_dequeue_buffer(port);
  if (b == nullptr) return;
  spa_data& d = b->buffer->datas[0];
  if (d.data == nullptr || d.chunk == nullptr || d.maxsize < 64) {
    pw_filter_queue_buffer(port, b);
    return;
  }
  spa_pod_builder builder;
  spa_pod_builder_init(&builder, d.data, d.maxsize);
  spa_pod_frame frame;
  spa_pod_builder_push_sequence(&builder, &frame, 0);
  // As many as fit; the rest wait for the next cycle.
  std::uint32_t room = (d.maxsize - 64) / kControlSpace, word = 0;
  for (; room > 0 && lights.pop(&word); --room) {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(word),
                                   static_cast<std::uint8_t>(word >> 8),
                                   static_cast<std::uint8_t>(word >> 16)};
    spa_pod_builder_control(&builder, 0, SPA_CONTROL_Midi);
    spa_pod_builder_bytes(&builder, bytes, word >> 24);
  }
  spa_pod_builder_pop(&builder, &frame);
  d.chunk->offset = 0;
  d.chunk->size = builder.state.offset;
  d.chunk->stride = 1;
  d.chunk->flags = 0;
  pw_filter_queue_buffer(port, b);
}

// --- The graph ------------------------------------------------------------------

std::uint32_t nodeIdOf(const MidiNode& n) {
  return n.filter != nullptr ? pw_filter_get_node_id(n.filter) : SPA_ID_INVALID;
}

bool isChosenSource(const SeenPort& p) {
  if (!p.output || setup.linkFrom.empty()) return false;
  if (p.node == nodeIdOf(feedback)) return false;
  if (p.name == setup.linkFrom || p.alias == setup.linkFrom) return true;
  return std::any_of(nodes.begin(), nodes.end(), [&](const SeenNode& n) {
    return n.id == p.node && (n.name == setup.linkFrom || n.description == setup.linkFrom);
  });
}

// A link of ours that the server removed (its source went) is forgotten.
void onLinkRemoved(void* data) {
  auto* proxy = static_cast<pw_proxy*>(data);
  std::erase(links, proxy);
  pw_proxy_destroy(proxy);
}

pw_proxy_events linkEvents() {
  pw_proxy_events events{};
  events.version = PW_VERSION_PROXY_EVENTS;
  events.removed = onLinkRemoved;
  return events;
}
const pw_proxy_events kLinkEvents = linkEvents();

void link(const SeenPort& from, const SeenPort& to) {
  pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", nullptr);
  if (props == nullptr) return;
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", from.node);
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", from.id);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", to.node);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", to.id);
  auto* proxy = static_cast<pw_proxy*>(
      pw_core_create_object(pipewireCore(), "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK,
                            &props->dict, sizeof(spa_hook)));
  pw_properties_free(props);
  if (proxy == nullptr) return;
  auto* listener = static_cast<spa_hook*>(pw_proxy_get_user_data(proxy));
  *listener = {};
  pw_proxy_add_listener(proxy, listener, &kLinkEvents, proxy);
  links.push_back(proxy);
  linkedSources.push_back(from.id);
}

// Links each chosen source not linked yet, once the input's port is known.
void linkChosenSources() {
  const std::uint32_t input = nodeIdOf(control);
  const auto to = std::find_if(ports.begin(), ports.end(),
                               [&](const SeenPort& p) { return !p.output && p.node == input; });
  if (input == SPA_ID_INVALID || to == ports.end()) return;
  const SeenPort target = *to;
  for (const SeenPort& p : std::vector<SeenPort>(ports)) {
    const bool done =
        std::find(linkedSources.begin(), linkedSources.end(), p.id) != linkedSources.end();
    if (!done && isChosenSource(p)) link(p, target);
  }
}

std::string lookup(const spa_dict* props, const char* key) {
  const char* value = props != nullptr ? spa_dict_lookup(props, key) : nullptr;
  return value != nullptr ? value : "";
}

std::uint32_t idOf(const spa_dict* props, const char* key) {
  const std::string value = lookup(props, key);
  char* end = nullptr;
  const unsigned long id = std::strtoul(value.c_str(), &end, 10);
  return value.empty() || *end != '\0' || id >= SPA_ID_INVALID ? SPA_ID_INVALID
                                                               : static_cast<std::uint32_t>(id);
}

void onFeedbackLinked(std::uint32_t link) {
  feedbackLinks.push_back(link);
  listened.store(true, std::memory_order_relaxed);
  if (setup.linked != nullptr) setup.linked();
}

void onGlobal(void*, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
  if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
    nodes.push_back({id, lookup(props, PW_KEY_NODE_NAME), lookup(props, PW_KEY_NODE_DESCRIPTION)});
  } else if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
    if (lookup(props, PW_KEY_FORMAT_DSP).find("midi") == std::string::npos) return;
    ports.push_back({id, idOf(props, PW_KEY_NODE_ID), lookup(props, PW_KEY_PORT_DIRECTION) == "out",
                     lookup(props, PW_KEY_PORT_NAME), lookup(props, PW_KEY_PORT_ALIAS)});
  } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
    const std::uint32_t out = nodeIdOf(feedback);
    if (out != SPA_ID_INVALID && idOf(props, PW_KEY_LINK_OUTPUT_NODE) == out) onFeedbackLinked(id);
    return;
  }
  linkChosenSources();
}

template <typename T>
void eraseId(std::vector<T>& list, std::uint32_t id) {
  std::erase_if(list, [&](const T& x) { return x.id == id; });
}

void onGlobalRemoved(void*, std::uint32_t id) {
  eraseId(nodes, id);
  eraseId(ports, id);
  std::erase(linkedSources, id);  // a source that comes back is linked again
  std::erase(feedbackLinks, id);
  if (feedbackLinks.empty()) listened.store(false, std::memory_order_relaxed);
}

constexpr pw_registry_events kRegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS, .global = onGlobal, .global_remove = onGlobalRemoved};

// The input's port becomes known to the registry once the node is in the
// graph; its state changes say when.
void onStateChanged(void*, pw_filter_state, pw_filter_state, const char*) {
  linkChosenSources();
}

pw_filter_events filterEvents(void (*process)(void*, spa_io_position*)) {
  pw_filter_events events{};
  events.version = PW_VERSION_FILTER_EVENTS;
  events.state_changed = onStateChanged;
  events.process = process;
  return events;
}
const pw_filter_events kControlEvents = filterEvents(processControl);
const pw_filter_events kFeedbackEvents = filterEvents(processFeedback);

// --- Making and removing --------------------------------------------------------

// The number that sets this unit's nodes apart from another unit's: 1 for
// none ("zephyrix_control"), then "zephyrix_control_2", "Zephyrix control 2"
// and so on. Kept while the nodes are wanted, so they come back after a
// restart under the same names.
int unitNumber = 0;

std::string nameOf(const char* base, const char* apart) {
  return unitNumber > 1 ? base + (apart + std::to_string(unitNumber)) : base;
}

// The lowest number whose names no node of the graph has yet (the registry
// has told of them all after a round trip).
int freeUnitNumber() {
  pipewireRoundTrip();
  for (int k = 1;; ++k) {
    unitNumber = k;
    const bool taken = std::any_of(nodes.begin(), nodes.end(), [](const SeenNode& n) {
      return n.name == nameOf(kControlInfo.name, "_") || n.name == nameOf(kFeedbackInfo.name, "_");
    });
    if (!taken) return k;
  }
}

bool makeNode(MidiNode& n, const MidiNodeInfo& info, const pw_filter_events& events) {
  const std::string name = nameOf(info.name, "_"), description = nameOf(info.description, " ");
  pw_properties* props =
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CLASS, info.mediaClass,
                        PW_KEY_NODE_NAME, name.c_str(), PW_KEY_NODE_DESCRIPTION,
                        description.c_str(), PW_KEY_APP_NAME, "Zephyrix", nullptr);
  n.filter = props != nullptr ? pw_filter_new(pipewireCore(), name.c_str(), props) : nullptr;
  if (n.filter == nullptr) return false;
  pw_properties* portProps = pw_properties_new(PW_KEY_FORMAT_DSP, "8 bit raw midi",
                                               PW_KEY_PORT_NAME, info.portName, nullptr);
  n.port = portProps != nullptr
               ? pw_filter_add_port(n.filter, info.direction, PW_FILTER_PORT_FLAG_MAP_BUFFERS,
                                    sizeof(int), portProps, nullptr, 0)
               : nullptr;
  if (n.port != nullptr) pw_filter_add_listener(n.filter, &n.listener, &events, n.port);
  return n.port != nullptr &&
         pw_filter_connect(n.filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) >= 0;
}

void removeNode(MidiNode& n) {
  if (n.filter != nullptr) pw_filter_destroy(n.filter);
  n = {};
}

// Everything of ours in the graph goes; the lock is held.
void removeAll() {
  // Destroying a proxy tells its listener it was removed: ours go first.
  for (pw_proxy* l : links) {
    spa_hook_remove(static_cast<spa_hook*>(pw_proxy_get_user_data(l)));
    pw_proxy_destroy(l);
  }
  links.clear();
  linkedSources.clear();
  if (registry != nullptr) {
    spa_hook_remove(&registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
  }
  registry = nullptr;
  ports.clear();
  nodes.clear();
  feedbackLinks.clear();
  listened.store(false, std::memory_order_relaxed);
  removeNode(control);  // no process callback runs once it is gone
  removeNode(feedback);
  if (spa_source* event = receivedEvent.exchange(nullptr))
    pw_loop_destroy_source(pw_thread_loop_get_loop(pipewireMainLoop()), event);
}

// The lock is held.
bool makeAll() {
  receivedEvent =
      pw_loop_add_event(pw_thread_loop_get_loop(pipewireMainLoop()), onReceived, nullptr);
  registry = pw_core_get_registry(pipewireCore(), PW_VERSION_REGISTRY, 0);
  if (registry != nullptr) {
    registryListener = {};
    pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, nullptr);
    if (unitNumber == 0) unitNumber = freeUnitNumber();
  }
  const bool made = receivedEvent.load() != nullptr && registry != nullptr &&
                    makeNode(control, kControlInfo, kControlEvents) &&
                    makeNode(feedback, kFeedbackInfo, kFeedbackEvents);
  if (!made) removeAll();
  return made;
}

void dropMidi() {
  PipewireLock lock;
  if (opened.load()) removeAll();
}

// A restored server without the MIDI nodes still has sound: a failure here is
// said once and does not hold the audio back.
bool restoreMidi() {
  PipewireLock lock;
  if (opened.load() && control.filter == nullptr && !makeAll())
    std::fputs("zephyrix: the MIDI nodes could not be made again\n", stderr);
  return true;
}

constexpr PipewireKeeping kKeeping{dropMidi, restoreMidi};

}  // namespace

bool openMidiPorts(const MidiPorts& wanted) {
  if (currentWaveBackend() != &pipewireWaveBackend || !pipewireConnected()) return false;
  if (opened.load()) return true;
  {
    PipewireLock lock;
    setup = wanted;
    if (!makeAll()) return false;
    opened.store(true);
  }
  keepPipewireDevices(kKeeping);
  return true;
}

void sendMidi(const std::uint8_t* bytes, std::uint32_t size) {
  if (size > 0 && size <= 3 && listened.load(std::memory_order_relaxed))
    lights.push(wordOf(bytes, size));
}

void closeMidiPorts() {
  if (!opened.load()) return;
  {
    PipewireLock lock;
    opened.store(false);
    removeAll();
    unitNumber = 0;
  }
  stopKeepingPipewireDevices(kKeeping);
}
