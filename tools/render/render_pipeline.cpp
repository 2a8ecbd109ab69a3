#include "render/render_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "render/block_renderer.h"

namespace {

// Chunks per batch: 32000 samples at 32000 Hz. Fewer would cost more hand-overs
// between the threads; more would touch more fresh memory, which costs as much.
constexpr std::size_t kChunksPerBatch = 8;
constexpr std::size_t kBatchesPerSide = 4;  // input batches, and as many output batches
// Batches the file thread reads ahead at most, so that in a bypass, where the
// file thread has the writing to do, the reading stays with the chain's thread.
constexpr std::size_t kReadAhead = 2;
// Rendered batches gathered before a sleeping file thread is woken to write
// them: it then writes a few in a row instead of waking for each.
constexpr std::size_t kWriteAfter = 2;

struct Batch {
  std::unique_ptr<std::int16_t[]> samples;
  std::size_t room;   // samples it holds: whole chunks
  std::size_t count;  // samples in it, from the start
  bool last;          // nothing follows it
  bool failed;        // reading it failed; nothing follows
};

struct Source {
  SoundInput& input;
  std::int64_t tailLeft;  // samples of silence still to come after the input
  bool inputEnded;
};

struct Pipeline {
  Pipeline(SoundInput& input, std::int64_t tailSamples, WaveOutput& out)
      : source{input, tailSamples, false}, output(out) {}

  std::mutex mutex;  // guards the queues and flags; a batch off the queues is its taker's
  std::condition_variable chainWakes;
  std::condition_variable filesWake;
  std::deque<Batch*> emptyInput, readAhead, emptyOutput, rendered;
  bool reading = false;    // one thread is reading: the input goes one batch at a time
  bool inputDone = false;  // the last input batch has been read
  bool stopped = false;    // something failed: both threads stop
  bool writeFailed = false;
  Source source;           // used by the thread that is reading
  WaveOutput& output;      // used by the file thread
  std::string readError;   // by the thread that read the failed batch
  std::string writeError;  // by the file thread, read once it has ended
};

// The next input samples, then the tail's silence, so chunks run on across the
// end of the input exactly as they would with the silence in the file.
void fillBatch(Batch& batch, Source& source, std::string& error) {
  batch.count = 0;
  batch.failed = false;
  if (!source.inputEnded) {
    const std::int64_t got = readSoundInput(source.input, batch.samples.get(), batch.room, error);
    if (got < 0) {
      batch.failed = batch.last = true;
      return;
    }
    batch.count = static_cast<std::size_t>(got);
    source.inputEnded = batch.count < batch.room;
  }
  const auto silence =
      static_cast<std::size_t>(std::min<std::int64_t>(source.tailLeft, batch.room - batch.count));
  std::fill_n(batch.samples.get() + batch.count, silence, std::int16_t{0});
  batch.count += silence;
  source.tailLeft -= static_cast<std::int64_t>(silence);
  batch.last = source.inputEnded && source.tailLeft == 0;
}

// Reads the next batch, on whichever thread calls it, with the lock held on
// entry and exit but not while reading.
Batch* readBatch(Pipeline& p, std::unique_lock<std::mutex>& lock) {
  Batch* batch = p.emptyInput.front();
  p.emptyInput.pop_front();
  p.reading = true;
  lock.unlock();
  fillBatch(*batch, p.source, p.readError);
  lock.lock();
  p.reading = false;
  p.inputDone = batch->last;
  return batch;
}

bool canReadAhead(const Pipeline& p) {
  return !p.reading && !p.inputDone && !p.emptyInput.empty() && p.readAhead.size() < kReadAhead;
}

bool filesHaveWork(const Pipeline& p) {
  const bool writeNow =
      p.rendered.size() >= kWriteAfter || (!p.rendered.empty() && p.rendered.back()->last);
  return p.stopped || writeNow || canReadAhead(p);
}

void stop(Pipeline& p) {
  p.stopped = true;
  p.chainWakes.notify_one();
  p.filesWake.notify_one();
}

// Writes the oldest rendered batch; false when nothing more is to be written.
bool writeBatch(Pipeline& p, std::unique_lock<std::mutex>& lock) {
  Batch* batch = p.rendered.front();
  p.rendered.pop_front();
  lock.unlock();
  const bool wrote =
      writeWaveOutput(p.output, batch->samples.get(), batch->count, p.writeError) == 0;
  lock.lock();
  if (!wrote) {
    p.writeFailed = true;
    stop(p);
    return false;
  }
  p.emptyOutput.push_back(batch);
  p.chainWakes.notify_one();
  return !batch->last;
}

void runFileThread(Pipeline& p) {
  std::unique_lock<std::mutex> lock(p.mutex);
  for (;;) {
    p.filesWake.wait(lock, [&p] { return filesHaveWork(p); });
    if (p.stopped) return;
    if (!p.rendered.empty()) {
      if (!writeBatch(p, lock)) return;
    } else if (canReadAhead(p)) {
      p.readAhead.push_back(readBatch(p, lock));
      p.chainWakes.notify_one();
    }
  }
}

bool chainCanGo(const Pipeline& p) {
  return p.stopped || ((!p.readAhead.empty() || !p.reading) && !p.emptyOutput.empty());
}

// A batch read ahead, or else the next batch read now.
Batch* nextInput(Pipeline& p, std::unique_lock<std::mutex>& lock) {
  if (p.readAhead.empty()) return readBatch(p, lock);
  Batch* batch = p.readAhead.front();
  p.readAhead.pop_front();
  return batch;
}

void renderBatch(const Batch& in, Batch& out) {
  const std::size_t chunk = chunkSamples();
  for (std::size_t at = 0; at < in.count; at += chunk)
    renderChunk(in.samples.get() + at, std::min(chunk, in.count - at), out.samples.get() + at);
  out.count = in.count;
  out.last = in.last;
}

// The chain's part, on the calling thread, up to the last batch or a failure.
RenderResult runChain(Pipeline& p, ProgressBar& bar) {
  std::int64_t done = 0;
  std::unique_lock<std::mutex> lock(p.mutex);
  for (;;) {
    p.chainWakes.wait(lock, [&p] { return chainCanGo(p); });
    if (p.stopped) return kRenderWriteFailed;
    Batch* in = nextInput(p, lock);
    if (in->failed) {
      stop(p);
      return kRenderReadFailed;
    }
    Batch* out = p.emptyOutput.front();
    p.emptyOutput.pop_front();
    lock.unlock();
    renderBatch(*in, *out);
    done += static_cast<std::int64_t>(out->count);
    updateProgress(bar, done);
    lock.lock();
    p.emptyInput.push_back(in);
    p.rendered.push_back(out);
    if (filesHaveWork(p)) p.filesWake.notify_one();
    if (out->last) return kRenderDone;
  }
}

std::vector<Batch> makeBatches() {
  std::vector<Batch> batches(2 * kBatchesPerSide);
  for (Batch& b : batches) {
    b.room = kChunksPerBatch * chunkSamples();
    // Left unset: the first to write a batch touches its memory, on its own thread.
    b.samples = std::make_unique_for_overwrite<std::int16_t[]>(b.room);
  }
  return batches;
}

}  // namespace

RenderResult renderRecording(SoundInput& input, WaveOutput& output, std::int64_t tailSamples,
                             ProgressBar& bar, std::string& error) {
  std::vector<Batch> batches = makeBatches();
  Pipeline p(input, tailSamples, output);
  for (std::size_t i = 0; i < batches.size(); ++i)
    (i < kBatchesPerSide ? p.emptyInput : p.emptyOutput).push_back(&batches[i]);

  std::thread files;
  try {
    files = std::thread(runFileThread, std::ref(p));
  } catch (const std::system_error& e) {
    error = e.what();
    return kRenderNoThread;
  }
  RenderResult result = runChain(p, bar);
  files.join();
  if (p.writeFailed) result = kRenderWriteFailed;
  if (result == kRenderReadFailed) error = p.readError;
  if (result == kRenderWriteFailed) error = p.writeError;
  return result;
}
