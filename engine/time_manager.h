#pragma once
// engine-pro's game clock. The referee's protocol carries no clock, so with
// --clock BASE+INC the program keeps its own: BASE seconds for the game and
// INC more after each move, charged with the time from reading a command to
// writing the reply plus an allowance for what it cannot measure (the
// pipes, waiting to be scheduled, the referee's own reading), since the
// referee's clock runs from writing the command to reading the reply.
//
// Before each move the clock's plan comes from the time policy
// (search/time_policy.h, planMove). On a busy machine a search stopped at
// its hard limit may answer late, when the process gets the processor
// again; the clock learns how late its answers come and the plan keeps
// that much back as well.

#include "search/time_policy.h"

namespace tovrane {

struct ClockControl {
  double base = 0;       // seconds for the game; 0: no clock
  double increment = 0;  // seconds added after each move
};

class GameClock {
 public:
  explicit GameClock(const ClockControl& control) : control_(control), left_(control.base) {}

  // A new game: the whole base again. What was learnt of the machine stays.
  void reset() {
    left_ = control_.base;
    moves_ = 0;
  }
  double left() const { return left_; }
  double lateness() const { return lateness_; }
  MovePlan plan() const {
    return planMove(left_, clockReserve(control_.base), control_.increment, moves_, lateness_);
  }
  // A reply went out seconds after its command was read, on a plan whose
  // hard limit was hardSeconds.
  void charge(double seconds, double hardSeconds);

 private:
  ClockControl control_;
  double left_;
  int moves_ = 0;
  double lateness_ = 0;
};

}  // namespace tovrane
