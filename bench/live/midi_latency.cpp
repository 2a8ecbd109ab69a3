// How long a MIDI press takes to reach the unit's controls: a foot on a
// switch, played in, and its light read back out. Two MIDI nodes of its own:
// "zephyrix-latency-probe-out" sends a momentary press of one control change
// (127, then 0) and "zephyrix-latency-probe-in", linked from the unit's
// lights, waits for that control's light to change; then the next press, a
// tenth of a second later. Each press's time from being handed to the graph to
// its light coming back is one round trip: in through the graph, through the
// window thread, back out through the graph. The timing is taken in the
// probe's real-time process callbacks.
//
//   midi_latency PRESSES [CC]
// prints "presses=N lost=L cycle=MS median=MS p95=MS max=MS" (round trips).
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/control/control.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr std::int64_t kGapNs = 100'000'000;       // between presses
constexpr std::int64_t kGiveUpNs = 2'000'000'000;  // a press whose light never came

std::int64_t nowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

struct Probe {
  pw_main_loop* loop = nullptr;
  pw_filter* out = nullptr;
  pw_filter* in = nullptr;
  void* outPort = nullptr;
  void* inPort = nullptr;
  int cc = 86;
  int presses = 0;
  // The real-time callbacks' own, read by the main loop at the end.
  std::int64_t sentAt = 0;  // 0: no press waiting
  std::int64_t nextAt = 0;
  int sent = 0, lost = 0;
  std::vector<double> roundTrips;  // ms; reserved, never grown in the callbacks
  std::atomic<double> cycleMs{0};
  std::atomic<bool> done{false};
};
Probe probe;

void writePress(spa_data& d) {
  spa_pod_builder b;
  spa_pod_builder_init(&b, d.data, d.maxsize);
  spa_pod_frame f;
  spa_pod_builder_push_sequence(&b, &f, 0);
  for (std::uint8_t value : {std::uint8_t{127}, std::uint8_t{0}}) {
    const std::uint8_t bytes[3] = {0xB0, static_cast<std::uint8_t>(probe.cc), value};
    spa_pod_builder_control(&b, 0, SPA_CONTROL_Midi);
    spa_pod_builder_bytes(&b, bytes, 3);
  }
  spa_pod_builder_pop(&b, &f);
  d.chunk->size = b.state.offset;
}

void processOut(void*, spa_io_position* position) {
  if (position != nullptr && position->clock.rate.denom != 0)
    probe.cycleMs.store(1000.0 * position->clock.duration * position->clock.rate.num /
                        position->clock.rate.denom);
  pw_buffer* buf = pw_filter_dequeue_buffer(probe.outPort);
  if (buf == nullptr) return;
  spa_data& d = buf->buffer->datas[0];
  const std::int64_t now = nowNs();
  if (probe.sentAt != 0 && now - probe.sentAt > kGiveUpNs) {
    ++probe.lost;
    probe.sentAt = 0;
    probe.nextAt = now + kGapNs;
  }
  d.chunk->offset = 0;
  d.chunk->stride = 1;
  d.chunk->size = 0;
  spa_pod_builder b;
  spa_pod_builder_init(&b, d.data, d.maxsize);
  spa_pod_frame f;
  spa_pod_builder_push_sequence(&b, &f, 0);
  spa_pod_builder_pop(&b, &f);
  d.chunk->size = b.state.offset;
  if (probe.sentAt == 0 && now >= probe.nextAt && probe.sent < probe.presses) {
    writePress(d);
    probe.sentAt = now;
    ++probe.sent;
  }
  pw_filter_queue_buffer(probe.outPort, buf);
  if (probe.sentAt == 0 && probe.sent == probe.presses) probe.done.store(true);
}

bool isOurLight(const spa_pod_control& c) {
  if (c.type != SPA_CONTROL_Midi || c.value.type != SPA_TYPE_Bytes) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(SPA_POD_BODY(&c.value));
  return SPA_POD_BODY_SIZE(&c.value) >= 2 && (bytes[0] & 0xF0) == 0xB0 && bytes[1] == probe.cc;
}

void processIn(void*, spa_io_position*) {
  pw_buffer* buf = pw_filter_dequeue_buffer(probe.inPort);
  if (buf == nullptr) return;
  const std::int64_t now = nowNs();
  spa_data& d = buf->buffer->datas[0];
  auto* pod =
      static_cast<spa_pod*>(spa_pod_from_data(d.data, d.maxsize, d.chunk->offset, d.chunk->size));
  if (pod != nullptr && spa_pod_is_sequence(pod)) {
    spa_pod_control* c;
    SPA_POD_SEQUENCE_FOREACH(reinterpret_cast<spa_pod_sequence*>(pod), c) {
      if (!isOurLight(*c) || probe.sentAt == 0) continue;
      if (probe.roundTrips.size() < probe.roundTrips.capacity())
        probe.roundTrips.push_back((now - probe.sentAt) / 1e6);
      probe.sentAt = 0;
      probe.nextAt = now + kGapNs;
    }
  }
  pw_filter_queue_buffer(probe.inPort, buf);
}

pw_filter* makeFilter(pw_core* core, const char* name, pw_direction direction,
                      const pw_filter_events* events, void** port) {
  pw_filter* f = pw_filter_new(
      core, name,
      pw_properties_new(PW_KEY_NODE_NAME, name, PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CLASS,
                        direction == PW_DIRECTION_OUTPUT ? "Midi/Source" : "Midi/Sink", nullptr));
  static spa_hook listeners[2];
  pw_filter_add_listener(f, &listeners[direction == PW_DIRECTION_OUTPUT], events, nullptr);
  *port = pw_filter_add_port(
      f, direction, PW_FILTER_PORT_FLAG_MAP_BUFFERS, sizeof(int),
      pw_properties_new(PW_KEY_FORMAT_DSP, "8 bit raw midi", PW_KEY_PORT_NAME,
                        direction == PW_DIRECTION_OUTPUT ? "output" : "input", nullptr),
      nullptr, 0);
  pw_filter_connect(f, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0);
  return f;
}

void checkDone(void*, std::uint64_t) {
  if (probe.done.load()) pw_main_loop_quit(probe.loop);
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: midi_latency PRESSES [CC]\n");
    return 2;
  }
  probe.presses = std::atoi(argv[1]);
  if (argc > 2) probe.cc = std::atoi(argv[2]) & 0x7F;
  probe.roundTrips.reserve(static_cast<std::size_t>(probe.presses));
  probe.nextAt = nowNs() + 1'000'000'000;  // a second to be linked

  pw_init(&argc, &argv);
  probe.loop = pw_main_loop_new(nullptr);
  pw_context* context = pw_context_new(pw_main_loop_get_loop(probe.loop), nullptr, 0);
  pw_core* core = pw_context_connect(context, nullptr, 0);
  if (core == nullptr) {
    std::fprintf(stderr, "midi_latency: no PipeWire server answers\n");
    return 1;
  }
  static pw_filter_events outEvents{}, inEvents{};
  outEvents.version = inEvents.version = PW_VERSION_FILTER_EVENTS;
  outEvents.process = processOut;
  inEvents.process = processIn;
  probe.out = makeFilter(core, "zephyrix-latency-probe-out", PW_DIRECTION_OUTPUT, &outEvents,
                         &probe.outPort);
  probe.in =
      makeFilter(core, "zephyrix-latency-probe-in", PW_DIRECTION_INPUT, &inEvents, &probe.inPort);
  spa_source* timer = pw_loop_add_timer(pw_main_loop_get_loop(probe.loop), checkDone, nullptr);
  timespec first{0, 50'000'000}, every = first;
  pw_loop_update_timer(pw_main_loop_get_loop(probe.loop), timer, &first, &every, false);
  pw_main_loop_run(probe.loop);

  pw_filter_destroy(probe.out);
  pw_filter_destroy(probe.in);
  const std::vector<double>& r = probe.roundTrips;
  std::printf("presses=%d lost=%d cycle=%.1f median=%.1f p95=%.1f max=%.1f\n", probe.sent,
              probe.lost, probe.cycleMs.load(), percentile(r, 0.5), percentile(r, 0.95),
              r.empty() ? 0.0 : *std::max_element(r.begin(), r.end()));
  pw_core_disconnect(core);
  pw_context_destroy(context);
  pw_main_loop_destroy(probe.loop);
  pw_deinit();
  return 0;
}
