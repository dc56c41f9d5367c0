#include "app/ImageJobs.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <thread>
#include <utility>

#include "app/Commands.h"
#include "app/DocumentActions.h"
#include "app/HeldSink.h"
#include "app/MemoryEstimate.h"
#include "app/MemoryGate.h"
#include "app/Session.h"
#include "sys/Path.h"
#include "sys/Platform.h"

namespace rastra {

namespace {

struct JobResult {
  HeldSink sink;
  ImageDocument doc;
  std::vector<std::string> reads;
  std::vector<SaveRecord> saves;
  bool exitRequested = false;
  bool memoryShort = false;  // something failed for want of memory
  bool company = false;      // another image ran beside it
};

struct JobSpec {
  const std::vector<QueuedCommand>& queue;
  const OutputOptions& options;
  const ReadOptions& readOptions;
  bool runCommands;
  const ImageJobsExtras& extras;
  const std::vector<std::string>& images;
  MemoryGate& gate;
};

std::unique_ptr<JobResult> RunImageJob(const JobSpec& spec, std::size_t index) {
  const std::string& image = spec.images[index];
  auto result = std::make_unique<JobResult>();
  CommandSession session(result->doc, result->sink, spec.options);
  session.readOptions = spec.readOptions;
  if (spec.extras.nameImages) session.subjects.push_back({image, SubjectKind::kImage});
  session.imageBaseName = sys::SplitPath(image).name;
  session.imagePath = image;
  session.sharedPalette = spec.extras.sharedPalette;
  session.firstImage = index == 0;
  session.recordSaves = spec.extras.recordSaves;
  try {
    OpenImageFile(session, image);
    if (spec.runCommands) RunCommands(session, spec.queue);
  } catch (const std::bad_alloc&) {
    // Memory ran out where no allocator could say so: the commands left
    // stop here, as a machine that is short of memory allows no more.
    session.ReportOutOfMemory();
  }
  result->reads = std::move(session.reads);
  result->saves = std::move(session.saves);
  result->exitRequested = session.exitRequested;
  result->memoryShort = session.memoryShort;
  // Only the last image's document is shown after the run; the others go
  // now, so finished images waiting to be shown hold no pictures.
  if (index + 1 < spec.images.size()) result->doc = ImageDocument{};
  return result;
}

// One run of an image's job once the gate lets it in: beside others as its
// estimate allows, or alone.
std::unique_ptr<JobResult> RunAdmitted(const JobSpec& spec, std::size_t index, bool alone) {
  const std::span<const QueuedCommand> commands =
      spec.runCommands ? std::span<const QueuedCommand>(spec.queue) : std::span<const QueuedCommand>();
  const MemoryGate::Pass pass =
      alone ? spec.gate.EnterAlone(index)
            : spec.gate.Enter(index, EstimateImageJob(spec.images[index], commands, spec.readOptions));
  std::unique_ptr<JobResult> result = RunImageJob(spec, index);
  result->company = spec.gate.Leave(pass);
  if (index + 1 == spec.images.size()) spec.gate.Keep(DocumentBytes(result->doc));
  return result;
}

std::string Canonical(const std::string& path) { return sys::SameFileKey(path); }

bool ReadsAny(const JobResult& result, const std::vector<std::string>& written) {
  return std::any_of(result.reads.begin(), result.reads.end(), [&](const std::string& read) {
    return std::find(written.begin(), written.end(), Canonical(read)) != written.end();
  });
}

// Hands out the images in order to the workers and the finished jobs, in
// order, to the one thread that shows them. Workers run at most a window
// of jobs ahead of it, which bounds the results held in memory.
class JobQueue {
 public:
  JobQueue(std::size_t count, std::size_t window) : results_(count), window_(window) {}

  // The next image to convert, or nullopt when there is none.
  std::optional<std::size_t> Take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return next_ >= results_.size() || next_ < shown_ + window_; });
    if (next_ >= results_.size()) return std::nullopt;
    return next_++;
  }
  void Finish(std::size_t index, std::unique_ptr<JobResult> result) {
    {
      const std::lock_guard lock(mutex_);
      results_[index] = std::move(result);
    }
    changed_.notify_all();
  }
  // Waits for the job of image index and hands it over.
  std::unique_ptr<JobResult> Collect(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return results_[index] != nullptr; });
    shown_ = index + 1;
    std::unique_ptr<JobResult> result = std::move(results_[index]);
    lock.unlock();
    changed_.notify_all();
    return result;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<JobResult>> results_;
  std::size_t window_;
  std::size_t next_ = 0;
  std::size_t shown_ = 0;
};

}  // namespace

unsigned ImageJobWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

ImageJobsResult RunImageJobs(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                             const OutputOptions& options, const ReadOptions& readOptions, bool runCommands,
                             unsigned workers, const ImageJobsExtras& extras) {
  MemoryGate gate(extras.memoryBudget ? *extras.memoryBudget : MemoryBudgetBytes());
  const JobSpec spec{queue, options, readOptions, runCommands, extras, images, gate};
  const std::size_t threads = std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(images.size(), 1));
  // Saves that wait for approval are all held: the window takes every job.
  const bool holdAll = static_cast<bool>(extras.approveSaves);
  JobQueue jobs(images.size(), holdAll ? images.size() : 2 * threads);
  std::vector<std::jthread> pool;
  pool.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      while (const auto index = jobs.Take()) jobs.Finish(*index, RunAdmitted(spec, *index, false));
    });
  }

  ImageJobsResult outcome;
  // An image that ran out of memory beside others would not have alone; its
  // result is the one it gives alone.
  const auto settle = [&](std::size_t index, std::unique_ptr<JobResult> result) {
    if (!result->memoryShort || !result->company) return result;
    ++outcome.ranAlone;
    return RunAdmitted(spec, index, true);
  };
  std::vector<std::unique_ptr<JobResult>> held;
  const auto approve = [&](std::size_t from, const JobResult* rerun) {
    std::vector<SaveRecord> saves = outcome.saves;  // of the images already shown
    for (std::size_t j = from; j < images.size(); ++j) {
      const JobResult& job = j == from && rerun != nullptr ? *rerun : *held[j];
      saves.insert(saves.end(), job.saves.begin(), job.saves.end());
    }
    outcome.refusals = extras.approveSaves(saves);
    outcome.savesRefused = !outcome.refusals.empty();
    if (outcome.savesRefused) outcome.refusedFrom = from;
  };
  if (holdAll) {
    for (std::size_t i = 0; i < images.size(); ++i) held.push_back(settle(i, jobs.Collect(i)));
    approve(0, nullptr);
  }
  std::vector<std::string> written;  // every target replaced so far, canonical
  for (std::size_t i = 0; i < images.size(); ++i) {
    std::unique_ptr<JobResult> result = holdAll ? std::move(held[i]) : settle(i, jobs.Collect(i));
    // It may have read a file before an earlier image wrote it; one after the
    // other it would have read what was written. What it saves then is new,
    // and needs the approval again before any of it is written.
    if (!outcome.savesRefused && ReadsAny(*result, written)) {
      result = settle(i, RunAdmitted(spec, i, false));
      if (holdAll) approve(i, result.get());
    }
    for (const std::string& target : result->sink.Replay(!outcome.savesRefused)) written.push_back(Canonical(target));
    outcome.exitRequested = outcome.exitRequested || result->exitRequested;
    outcome.saves.insert(outcome.saves.end(), result->saves.begin(), result->saves.end());
    if (i + 1 == images.size()) outcome.lastDocument = std::move(result->doc);
  }
  outcome.mostAtOnce = gate.MostAtOnce();
  return outcome;
}

}  // namespace rastra
