#include "platform/pipewire_stream.h"

#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>

#include "platform/pipewire_connection.h"

namespace {

const spa_pod* formatParameter(spa_pod_builder* builder, const WaveFormat& f) {
  spa_audio_info_raw info{};
  info.format = f.bitsPerSample == 8 ? SPA_AUDIO_FORMAT_U8 : SPA_AUDIO_FORMAT_S16_LE;
  info.rate = f.samplesPerSecond;
  info.channels = f.channels;
  if (f.channels == 1) {
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
  } else {
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
  }
  return spa_format_audio_raw_build(builder, SPA_PARAM_EnumFormat, &info);
}

}  // namespace

pw_properties* streamProperties(bool isCapture) {
  pw_properties* props =
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                        isCapture ? "Capture" : "Playback", PW_KEY_APP_NAME, "Zephyrix",
                        PW_KEY_NODE_NAME, "Zephyrix", PW_KEY_NODE_DESCRIPTION, "Zephyrix", nullptr);
  pw_properties_setf(props, PW_KEY_NODE_GROUP, "zephyrix-%d", static_cast<int>(getpid()));
  return props;
}

pw_stream* newStream(pw_properties* props, const pw_stream_events* events, void* data,
                     spa_hook* listener) {
  pw_stream* stream = pw_stream_new(pipewireCore(), "Zephyrix", props);
  if (stream != nullptr) pw_stream_add_listener(stream, listener, events, data);
  return stream;
}

bool connectStream(pw_stream* stream, const WaveFormat& format, pw_direction direction,
                   bool autoconnect) {
  std::uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  const spa_pod* params[] = {formatParameter(&builder, format)};
  const auto flags =
      static_cast<pw_stream_flags>((autoconnect ? PW_STREAM_FLAG_AUTOCONNECT : 0) |
                                   PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  return pw_stream_connect(stream, direction, PW_ID_ANY, flags, params, 1) >= 0;
}

pw_stream_events streamEvents(void (*process)(void*)) {
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.process = process;
  return events;
}

std::uint32_t requestedBytes(const pw_buffer& buffer, std::uint32_t frameBytes) {
  const spa_data& data = buffer.buffer->datas[0];
  const std::uint32_t bytes =
      buffer.requested ? static_cast<std::uint32_t>(buffer.requested) * frameBytes : data.maxsize;
  return std::min(bytes, data.maxsize) / frameBytes * frameBytes;
}

void fillChunk(spa_data& data, std::uint32_t bytes, std::uint32_t frameBytes) {
  data.chunk->offset = 0;
  data.chunk->stride = static_cast<std::int32_t>(frameBytes);
  data.chunk->size = bytes;
}
