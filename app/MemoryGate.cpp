#include "app/MemoryGate.h"

#include <algorithm>

namespace rastra {

MemoryGate::Pass MemoryGate::Enter(std::size_t index, std::uint64_t bytes) {
  std::unique_lock lock(mutex_);
  waiting_.insert(index);
  changed_.wait(lock, [&] {
    const bool next = *waiting_.begin() == index;
    const bool fits = inside_ == 0 || (bytes <= budget_ && taken_ <= budget_ - bytes);
    return next && !aloneInside_ && fits;
  });
  return Admit(lock, index, bytes, false);
}

MemoryGate::Pass MemoryGate::EnterAlone(std::size_t index) {
  std::unique_lock lock(mutex_);
  waiting_.insert(index);
  changed_.wait(lock, [&] { return *waiting_.begin() == index && inside_ == 0; });
  return Admit(lock, index, 0, true);
}

MemoryGate::Pass MemoryGate::Admit(std::unique_lock<std::mutex>& lock, std::size_t index, std::uint64_t bytes,
                                   bool alone) {
  waiting_.erase(waiting_.find(index));
  Pass pass{index, bytes, ++admissions_, inside_ != 0, alone};
  taken_ += bytes;
  ++inside_;
  aloneInside_ = alone;
  mostAtOnce_ = std::max(mostAtOnce_, inside_);
  lock.unlock();
  // The next number waiting may fit beside this one.
  changed_.notify_all();
  return pass;
}

bool MemoryGate::Leave(const Pass& pass) {
  bool company = false;
  {
    const std::lock_guard lock(mutex_);
    taken_ -= pass.bytes;
    --inside_;
    if (pass.alone) aloneInside_ = false;
    // Anyone let in after it came in was inside beside it.
    company = pass.company || admissions_ != pass.admission;
  }
  changed_.notify_all();
  return company;
}

void MemoryGate::Keep(std::uint64_t bytes) {
  {
    const std::lock_guard lock(mutex_);
    taken_ += bytes;
  }
  changed_.notify_all();
}

std::size_t MemoryGate::MostAtOnce() const {
  const std::lock_guard lock(mutex_);
  return mostAtOnce_;
}

}  // namespace rastra
