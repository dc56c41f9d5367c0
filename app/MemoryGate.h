// Lets the images of a run start only while the memory they are estimated
// to take fits a budget, so converting them side by side never asks for more
// than converting them one after the other would have had.
//
// Images are let in in the order of their numbers: a large one is never
// overtaken by smaller ones that would keep it waiting for ever, and the
// image the run shows next (always the lowest number waiting) goes first. An
// image always runs when nothing else does, whatever its estimate, as it
// would alone. A run can also ask for an image to run alone: it then waits
// for the others to finish and keeps the rest out until it is done. Each
// image learns whether another ran beside it at any moment of its run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>

namespace rastra {

class MemoryGate {
 public:
  explicit MemoryGate(std::uint64_t budget) : budget_(budget) {}

  // One image's stay inside.
  struct Pass {
    std::size_t index = 0;
    std::uint64_t bytes = 0;
    std::uint64_t admission = 0;  // the number of the admission that let it in
    bool company = false;         // another image was inside when it came in
    bool alone = false;
  };

  // Waits until image index may start with an estimate of bytes.
  Pass Enter(std::size_t index, std::uint64_t bytes);
  // Waits until nothing else runs, and keeps every other image out until Leave.
  Pass EnterAlone(std::size_t index);
  // Ends the stay; true when another image ran beside it at any moment.
  bool Leave(const Pass& pass);
  // Memory that stays taken after its image ended (the document the run
  // keeps of its last image); counted against the budget, but an image still
  // starts when no other runs.
  void Keep(std::uint64_t bytes);
  // The most images that were inside at once (for tests and measurements).
  std::size_t MostAtOnce() const;

 private:
  Pass Admit(std::unique_lock<std::mutex>& lock, std::size_t index, std::uint64_t bytes, bool alone);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const std::uint64_t budget_;
  std::uint64_t taken_ = 0;  // by the images inside and by what was kept
  std::size_t inside_ = 0;
  bool aloneInside_ = false;
  std::uint64_t admissions_ = 0;
  std::multiset<std::size_t> waiting_;
  std::size_t mostAtOnce_ = 0;
};

}  // namespace rastra
