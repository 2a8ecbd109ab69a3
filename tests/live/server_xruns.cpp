// server_xruns: the cycles the PipeWire server missed while it was watched, by
// its own account. Prints "watching" once it follows the server's profiler,
// and on SIGINT or SIGTERM one line "COUNT NAME" for each node that was late
// since: a driver's own xruns, plus the cycles the server profiled with the
// node due and not finished (triggered or running when the cycle's time was
// up). A node that was never triggered waited for a late one and is not
// counted, so the names say who was late. This is what pw-top counts as ERR;
// PipeWire 0.3.65 has no command that prints it (its pw-top is interactive
// only; pw-dump and pw-cli show no counts, and the drivers of null sinks count
// no xruns of their own), so this reads the server's profiler as pw-top does.
// Exit status 1 without a server.
#include <pipewire/extensions/profiler.h>
#include <pipewire/impl.h>
#include <spa/param/profiler.h>
#include <spa/pod/parser.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

// A node's status in a profiled cycle: 0 not triggered, 1 triggered, 2 awake
// (running), 3 finished.
bool late(std::int32_t status) {
  return status == 1 || status == 2;
}

struct Watch {
  pw_main_loop* loop = nullptr;
  pw_core* core = nullptr;
  pw_registry* registry = nullptr;
  pw_proxy* profiler = nullptr;
  spa_hook coreListener{}, registryListener{}, profilerListener{};
  int bound = 0;                                     // the sync that follows the bind
  std::map<std::string, int> missed;                 // cycles late, by node name
  std::map<std::string, std::pair<int, int>> xruns;  // a driver's first and last count
  bool stopping = false;
};

bool parseBlock(const spa_pod_prop* block, const char** name, std::int32_t* status) {
  std::int32_t id = 0;
  std::int64_t prevSignal = 0, signal = 0, awake = 0, finish = 0;
  return block != nullptr && spa_pod_parse_struct(&block->value, SPA_POD_Int(&id),
                                                  SPA_POD_String(name), SPA_POD_Long(&prevSignal),
                                                  SPA_POD_Long(&signal), SPA_POD_Long(&awake),
                                                  SPA_POD_Long(&finish), SPA_POD_Int(status)) >= 0;
}

// A report holds an object per driver and cycle: the driver's info (counter,
// three loads, its xrun count), its block and one block per follower (id,
// name, four times, status, ...).
void onProfile(void* data, const spa_pod* pod) {
  auto& w = *static_cast<Watch*>(data);
  spa_pod_parser parser;
  spa_pod_frame frame;
  spa_pod_parser_pod(&parser, pod);
  if (spa_pod_parser_push_struct(&parser, &frame) < 0) return;
  while (spa_pod* o = spa_pod_parser_next(&parser)) {
    if (!spa_pod_is_object_type(o, SPA_TYPE_OBJECT_Profiler)) continue;
    const auto* object = reinterpret_cast<const spa_pod_object*>(o);
    const char* driver = nullptr;
    std::int32_t status = 0, xruns = 0;
    if (!parseBlock(spa_pod_object_find_prop(object, nullptr, SPA_PROFILER_driverBlock), &driver,
                    &status))
      continue;
    if (const spa_pod_prop* info = spa_pod_object_find_prop(object, nullptr, SPA_PROFILER_info)) {
      std::int64_t counter = 0;
      float load[3] = {};
      if (spa_pod_parse_struct(&info->value, SPA_POD_Long(&counter), SPA_POD_Float(&load[0]),
                               SPA_POD_Float(&load[1]), SPA_POD_Float(&load[2]),
                               SPA_POD_Int(&xruns)) >= 0)
        w.xruns.try_emplace(driver, xruns, xruns).first->second.second = xruns;
    }
    if (late(status)) ++w.missed[driver];
    for (const spa_pod_prop* p = spa_pod_prop_first(&object->body);
         spa_pod_prop_is_inside(&object->body, object->pod.size, p); p = spa_pod_prop_next(p)) {
      const char* follower = nullptr;
      if (p->key == SPA_PROFILER_followerBlock && parseBlock(p, &follower, &status) && late(status))
        ++w.missed[follower];
    }
  }
  // Stopped: this report covered the cycles up to the stop.
  if (w.stopping) pw_main_loop_quit(w.loop);
}

const pw_profiler_events kProfilerEvents = {
    .version = PW_VERSION_PROFILER_EVENTS,
    .profile = onProfile,
};

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict*) {
  auto& w = *static_cast<Watch*>(data);
  if (w.profiler != nullptr || std::strcmp(type, PW_TYPE_INTERFACE_Profiler) != 0) return;
  w.profiler = static_cast<pw_proxy*>(
      pw_registry_bind(w.registry, id, PW_TYPE_INTERFACE_Profiler, PW_VERSION_PROFILER, 0));
  if (w.profiler == nullptr) return;
  pw_proxy_add_object_listener(w.profiler, &w.profilerListener, &kProfilerEvents, &w);
  w.bound = pw_core_sync(w.core, PW_ID_CORE, 0);
}

const pw_registry_events kRegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS,
    .global = onGlobal,
    .global_remove = nullptr,
};

void onDone(void* data, std::uint32_t id, int seq) {
  auto& w = *static_cast<Watch*>(data);
  if (id == PW_ID_CORE && seq == w.bound && w.profiler != nullptr) {
    std::printf("watching\n");
    std::fflush(stdout);
  }
}

// The server gone: the counts so far are all there will be.
void onError(void* data, std::uint32_t id, int, int res, const char*) {
  if (id == PW_ID_CORE && res == -EPIPE) pw_main_loop_quit(static_cast<Watch*>(data)->loop);
}

const pw_core_events kCoreEvents = {
    .version = PW_VERSION_CORE_EVENTS,
    .info = nullptr,
    .done = onDone,
    .ping = nullptr,
    .error = onError,
    .remove_id = nullptr,
    .bound_id = nullptr,
    .add_mem = nullptr,
    .remove_mem = nullptr,
};

// The profiler reports about twice a second while a driver runs: the next
// report, or a second without one, ends the watch.
void onStop(void* data, int) {
  auto& w = *static_cast<Watch*>(data);
  if (w.stopping) return;
  w.stopping = true;
  pw_loop* loop = pw_main_loop_get_loop(w.loop);
  spa_source* timer = pw_loop_add_timer(
      loop, [](void* l, std::uint64_t) { pw_main_loop_quit(static_cast<pw_main_loop*>(l)); },
      w.loop);
  timespec second{1, 0};
  pw_loop_update_timer(loop, timer, &second, nullptr, false);
}

}  // namespace

int main() {
  pw_init(nullptr, nullptr);
  Watch w;
  w.loop = pw_main_loop_new(nullptr);
  pw_loop* loop = pw_main_loop_get_loop(w.loop);
  pw_loop_add_signal(loop, SIGINT, onStop, &w);
  pw_loop_add_signal(loop, SIGTERM, onStop, &w);
  pw_context* context = pw_context_new(loop, nullptr, 0);
  // The client's half of the profiler's protocol.
  pw_context_load_module(context, PW_EXTENSION_MODULE_PROFILER, nullptr, nullptr);
  w.core = pw_context_connect(context, nullptr, 0);
  if (w.core == nullptr) {
    std::fprintf(stderr, "server_xruns: no PipeWire server\n");
    return 1;
  }
  pw_core_add_listener(w.core, &w.coreListener, &kCoreEvents, &w);
  w.registry = pw_core_get_registry(w.core, PW_VERSION_REGISTRY, 0);
  pw_registry_add_listener(w.registry, &w.registryListener, &kRegistryEvents, &w);
  pw_main_loop_run(w.loop);
  for (const auto& [driver, count] : w.xruns) w.missed[driver] += count.second - count.first;
  for (const auto& [name, count] : w.missed)
    if (count > 0) std::printf("%d %s\n", count, name.c_str());
  return 0;
}
