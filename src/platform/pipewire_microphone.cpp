#include "platform/pipewire_microphone.h"

#include <pipewire/pipewire.h>

#include <cstddef>
#include <vector>

#include "platform/pipewire_connection.h"
#include "platform/pipewire_data_thread.h"
#include "platform/pipewire_stream.h"
#include "platform/wave_audio_pipewire.h"
#include "platform/wave_pump.h"

namespace {

bool asMicrophone = false;
bool listenToo = false;
std::string nodeName, nodeDescription;

// "zephyrix_microphone", or with a number when another unit has that name.
void chooseNames(std::string& name, std::string& description) {
  const std::vector<PipewireNode> nodes = pipewireNodes();
  for (int k = 1;; ++k) {
    name = "zephyrix_microphone";
    description = "Zephyrix";
    if (k > 1) {
      name.append("_").append(std::to_string(k));
      description.append(" ").append(std::to_string(k));
    }
    bool taken = false;
    for (const PipewireNode& n : nodes)
      taken = taken || n.name == name || n.description == description;
    if (!taken) return;
  }
}

// What the speaker gets as well, when the user listens: what the node played,
// a cycle or so later.
constexpr std::size_t kListenRingBytes = std::size_t{1} << 17;
std::uint8_t listenRing[kListenRingBytes];
std::uint64_t listenWritten = 0, listenRead = 0;  // data thread only
WaveFormat listenFormat{};                        // set before the stream is linked
pw_stream* listenStream = nullptr;
spa_hook listenListener{};

void processListen(void*) {
  ProcessScope scope;
  pw_buffer* b = pw_stream_dequeue_buffer(listenStream);
  if (b == nullptr) return;
  spa_data& data = b->buffer->datas[0];
  const std::uint32_t frameBytes = frameBytesOf(listenFormat);
  const std::uint32_t bytes = requestedBytes(*b, frameBytes);
  auto* out = static_cast<std::uint8_t*>(data.data);
  std::uint32_t n = 0;
  for (; n < bytes && listenRead < listenWritten; ++n, ++listenRead)
    out[n] = listenRing[listenRead % kListenRingBytes];
  writeSilence(out + n, bytes - n, listenFormat);
  fillChunk(data, bytes, frameBytes);
  pw_stream_queue_buffer(listenStream, b);
}

const pw_stream_events kListenEvents = streamEvents(processListen);

}  // namespace

void usePipewireMicrophone(bool listen) {
  asMicrophone = true;
  listenToo = listen;
}

bool microphoneChosen() {
  return asMicrophone;
}

pw_properties* microphoneProperties() {
  // Made again after a server restart, the node keeps its names.
  if (nodeName.empty()) chooseNames(nodeName, nodeDescription);
  pw_properties* props = streamProperties(false);
  pw_properties_set(props, PW_KEY_MEDIA_CLASS, "Audio/Source");
  pw_properties_set(props, PW_KEY_MEDIA_CATEGORY, nullptr);  // a device of its own, no stream
  pw_properties_set(props, PW_KEY_NODE_NAME, nodeName.c_str());
  pw_properties_set(props, PW_KEY_NODE_DESCRIPTION, nodeDescription.c_str());
  // Runs whether or not anything records from it, so the unit goes on.
  pw_properties_set(props, PW_KEY_NODE_ALWAYS_PROCESS, "true");
  return props;
}

const std::string& microphoneName() {
  return nodeName;
}

void forgetMicrophoneName() {
  nodeName.clear();
  nodeDescription.clear();
}

void startListening(const WaveFormat& format, const std::string& target) {
  if (!listenToo) return;
  listenFormat = format;
  pw_properties* props = streamProperties(false);
  if (!target.empty()) pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());
  listenStream = newStream(props, &kListenEvents, nullptr, &listenListener);
  if (listenStream != nullptr && !connectStream(listenStream, format, PW_DIRECTION_OUTPUT, true)) {
    pw_stream_destroy(listenStream);
    listenStream = nullptr;
  }
}

void stopListening() {
  if (listenStream == nullptr) return;
  pw_stream_destroy(listenStream);
  listenStream = nullptr;
}

void restartListening() {
  listenRead = listenWritten = 0;
}

void keepForListening(const std::uint8_t* bytes, std::uint32_t n) {
  if (listenStream == nullptr) return;
  for (std::uint32_t i = 0; i < n; ++i)
    listenRing[(listenWritten + i) % kListenRingBytes] = bytes[i];
  listenWritten += n;
  if (listenWritten - listenRead > kListenRingBytes) listenRead = listenWritten - kListenRingBytes;
}
