#include "platform/pipewire_connection.h"

#include <pipewire/pipewire.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pipewire_data_thread.h"

namespace {

// How long a server may take to answer before it counts as not answering.
constexpr int kAnswerSeconds = 1;

struct Connection {
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  spa_hook coreListener{};
  // Written on PipeWire's thread (its events) and read by any thread.
  std::atomic<bool> connected{false};
  int syncWaited = -1;                      // the sequence number a round trip waits for
  int syncDone = -1;                        // the last one the server answered
  std::atomic<void (*)()> onLost{nullptr};  // told when the connection breaks
};

// Never destroyed: PipeWire's threads run until the process ends and may still
// deliver an event while static objects are being destroyed.
Connection& connection = *new Connection();

void onCoreDone(void*, std::uint32_t id, int seq) {
  if (id != PW_ID_CORE) return;
  connection.syncDone = seq;
  pw_thread_loop_signal(connection.loop, false);
}

void onCoreError(void*, std::uint32_t id, int, int res, const char*) {
  // The connection itself broke (the server went away): every wait ends.
  if (id == PW_ID_CORE && res == -EPIPE) {
    connection.connected.store(false, std::memory_order_relaxed);
    pw_thread_loop_signal(connection.loop, false);
    if (void (*lost)() = connection.onLost.load(std::memory_order_relaxed)) lost();
  }
}

pw_core_events coreEvents() {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.done = onCoreDone;
  events.error = onCoreError;
  return events;
}
const pw_core_events kCoreEvents = coreEvents();

// Connects the context to the server (again); caller holds the lock.
bool connectCore() {
  connection.core = pw_context_connect(connection.context, nullptr, 0);
  if (connection.core == nullptr) return false;
  connection.coreListener = {};
  pw_core_add_listener(connection.core, &connection.coreListener, &kCoreEvents, nullptr);
  connection.connected.store(true, std::memory_order_relaxed);
  if (!pipewireRoundTrip()) connection.connected.store(false, std::memory_order_relaxed);
  return connection.connected.load(std::memory_order_relaxed);
}

bool connect() {
  pw_init(nullptr, nullptr);
  connection.loop = pw_thread_loop_new("zephyrix-pw", nullptr);
  if (connection.loop == nullptr) return false;
  // The real-time client setup: the data thread asks for real-time
  // scheduling (where the system grants it), as the server's own threads
  // have, so a busy machine does not make it miss the graph's cycles.
  connection.context =
      pw_context_new(pw_thread_loop_get_loop(connection.loop),
                     pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (connection.context == nullptr || !openDataThreadCalls(pipewireDataLoop()) ||
      pw_thread_loop_start(connection.loop) < 0)
    return false;
  PipewireLock lock;
  return connectCore();
}

}  // namespace

PipewireLock::PipewireLock() {
  pw_thread_loop_lock(connection.loop);
}

PipewireLock::~PipewireLock() {
  pw_thread_loop_unlock(connection.loop);
}

bool pipewireConnected() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = connect() || connection.context != nullptr; });
  return started && connection.connected.load(std::memory_order_relaxed);
}

bool pipewireReconnect() {
  if (connection.context == nullptr) return false;
  PipewireLock lock;
  if (connection.connected.load(std::memory_order_relaxed)) return true;
  if (connection.core != nullptr) {
    spa_hook_remove(&connection.coreListener);
    pw_core_disconnect(connection.core);
    connection.core = nullptr;
  }
  return connectCore();
}

void whenPipewireLost(void (*lost)()) {
  connection.onLost.store(lost, std::memory_order_relaxed);
}

pw_thread_loop* pipewireMainLoop() {
  return connection.loop;
}

pw_core* pipewireCore() {
  return connection.core;
}

pw_loop* pipewireDataLoop() {
  return pw_data_loop_get_loop(pw_context_get_data_loop(connection.context));
}

bool pipewireRoundTrip() {
  connection.syncWaited = pw_core_sync(connection.core, PW_ID_CORE, connection.syncWaited);
  timespec until{};
  pw_thread_loop_get_time(connection.loop, &until, kAnswerSeconds * SPA_NSEC_PER_SEC);
  while (connection.connected.load(std::memory_order_relaxed) &&
         connection.syncDone != connection.syncWaited)
    if (pw_thread_loop_timed_wait_full(connection.loop, &until) != 0) return false;
  return connection.connected.load(std::memory_order_relaxed);
}

namespace {

struct Listing {
  std::vector<PipewireNode> nodes;
};

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
  if (props == nullptr || std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) return;
  const char* mediaClass = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
  const char* name = spa_dict_lookup(props, PW_KEY_NODE_NAME);
  if (mediaClass == nullptr || name == nullptr) return;
  const bool source = std::strcmp(mediaClass, "Audio/Source") == 0 ||
                      std::strcmp(mediaClass, "Audio/Source/Virtual") == 0;
  if (!source && std::strcmp(mediaClass, "Audio/Sink") != 0) return;
  const char* description = spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION);
  static_cast<Listing*>(data)->nodes.push_back(
      {id, name, description != nullptr ? description : name, source});
}

pw_registry_events registryEvents() {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = onGlobal;
  return events;
}
const pw_registry_events kRegistryEvents = registryEvents();

}  // namespace

std::vector<PipewireNode> pipewireNodes() {
  Listing listing;
  if (!pipewireConnected()) return {};
  PipewireLock lock;
  pw_registry* registry = pw_core_get_registry(pipewireCore(), PW_VERSION_REGISTRY, 0);
  if (registry == nullptr) return {};
  spa_hook listener{};
  pw_registry_add_listener(registry, &listener, &kRegistryEvents, &listing);
  pipewireRoundTrip();
  spa_hook_remove(&listener);
  pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
  return listing.nodes;
}

std::vector<PipewireNode> pipewireDevices(bool sources) {
  std::vector<PipewireNode> found;
  for (PipewireNode& n : pipewireNodes())
    if (n.isSource == sources) found.push_back(std::move(n));
  return found;
}

std::string pipewireNodeNamed(const std::string& description, bool source) {
  if (description.empty()) return "";
  for (const PipewireNode& n : pipewireDevices(source))
    if (n.description == description) return n.name;
  return description;  // perhaps a node.name itself
}
