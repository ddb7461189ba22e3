#pragma once
// engine-pro's game clock and its time manager. The referee's protocol
// carries no clock, so with --clock BASE+INC the program keeps its own:
// BASE seconds for the game and INC more after each move, charged with the
// time from reading a command to writing the reply plus an allowance for
// what it cannot measure (the pipes, waiting to be scheduled, the referee's
// own reading), since the referee's clock runs from writing the command to
// reading the reply.
//
// Before each move the manager turns what is left into a plan for the
// search (ProSearch::setTimePlan): a share of what is left plus most of the
// increment as the soft limit (no new iteration after it), and a hard limit
// a few times that (the search stops there), never more than what is left
// above a reserve. On a busy machine a search stopped at its hard limit may
// answer late, when the process gets the processor again; the clock learns
// how late its answers come and keeps that much back as well.

namespace tovrane {

struct ClockControl {
  double base = 0;       // seconds for the game; 0: no clock
  double increment = 0;  // seconds added after each move
};

struct MovePlan {
  double softSeconds = 0;
  double hardSeconds = 0;
};

// Never planned into: this share of the base, at least kMinReserve and at
// most kMaxReserve seconds. It stands between a stalled answer and a flag.
inline constexpr double kReserveShare = 0.2;
inline constexpr double kMinReserve = 0.05;
inline constexpr double kMaxReserve = 1.0;
// Charged per move on top of the measured time: the part of the referee's
// charge that the program cannot see.
inline constexpr double kMoveOverhead = 0.005;
// The least a move takes as measured, however small its plan.
inline constexpr double kMoveFloor = 0.001;
// Where the increment does not pay for a move's fixed cost (overhead and
// floor), that cost is kept back for every move still to come, up to the
// longest game: 200 moves a side, the 400-ply cap of every rules preset.
inline constexpr int kMaxGameMoves = 200;
// The soft limit is this share of what is left, plus kIncrementShare of the increment.
inline constexpr int kMovesToGo = 25;
inline constexpr double kIncrementShare = 0.7;
// The hard limit is at most this many soft limits.
inline constexpr double kHardPerSoft = 4;
// How late answers come past the hard limit: the latest of the recent ones,
// each move's estimate this share of the one before unless a later answer
// raises it.
inline constexpr double kLatenessMemory = 0.98;
// Kept back for the next answer: this many times that lateness, as stalls
// come in runs on a busy machine.
inline constexpr double kLatenessMargin = 2;

// The reserve for a clock of base seconds.
double clockReserve(double base);

// The plan for one move with left seconds on the clock, reserve kept back,
// increment to come after it, movesMade moves of this game made already,
// and answers coming up to lateness seconds after the hard limit. Both
// limits 0 when nothing is left above the reserves: the search then plays
// the first move it finds.
MovePlan planMove(double left, double reserve, double increment, int movesMade, double lateness);

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
