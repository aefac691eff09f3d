// Progress marks of the long loops: forty marks fill the console scale of a loop.
#pragma once

#include <functional>
#include <utility>

namespace tessel {

// Calls `mark` once every total/40 steps (every step when there are fewer than 40), so that a
// loop of `total` steps gives 40 marks. Default-constructed, it never calls anything.
class ProgressMarks {
 public:
  static constexpr long long kMarks = 40;

  ProgressMarks() = default;
  ProgressMarks(long long total, std::function<void()> mark)
      : step_(total / kMarks > 0 ? total / kMarks : 1), mark_(std::move(mark)) {}

  // Records `steps` more steps and gives a mark for every multiple of the step passed.
  void advance(long long steps = 1) {
    if (!mark_ || steps <= 0) return;
    const long long before = done_ / step_;
    done_ += steps;
    for (long long m = before; m < done_ / step_; ++m) mark_();
  }

 private:
  long long step_ = 1;
  long long done_ = 0;
  std::function<void()> mark_;
};

}  // namespace tessel
