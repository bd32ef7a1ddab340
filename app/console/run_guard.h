// A single run's unit is not left half written by accident: once the run
// has changed its unit, the first Ctrl+C (or a termination request, or the
// terminal hanging up) only says that the values are being written back, and
// a second Ctrl+C ends the program with the recovery hint. Before the change,
// and between runs, Ctrl+C ends the program at once as it always did.
#pragma once

#include <string>

#include "upgrade/run_observer.h"

namespace ramtune::console {

// The steps, from what has arrived since the guard was engaged. Plain logic.
class InterruptSteps {
 public:
  enum class Step { None, Announce, End };
  // `interrupts`: Ctrl+C received; `terminated`: a termination or hang-up received.
  Step Next(int interrupts, bool terminated) {
    if (!announced_) {
      if (interrupts == 0 && !terminated) return Step::None;
      announced_ = true;
      counted_ = interrupts > 0 ? 1 : 0;
      return Step::Announce;
    }
    return interrupts > counted_ ? Step::End : Step::None;
  }

 private:
  bool announced_ = false;
  int counted_ = 0;  // the interrupts the announcement answered
};

// The text the first request shows, and the one before the hint on the second.
inline const char* const kStillWritingLine =
    "[System]-The unit has been changed and its values are being written back: the run goes on. "
    "A second Ctrl+C ends the program and leaves the unit to a restore from its Data log.";
inline const char* const kSecondInterruptLine =
    "[System]-Ended by a second Ctrl+C before the run finished: the unit is not restored.";

// Follows the session's runs and holds the requests while a changed unit's
// run is active.
class ChangedRunGuard : public upgrade::RunObserver {
 public:
  void UnitChanged(const upgrade::ChangedUnit& unit) override;
  void Ended(const upgrade::RunResult& result) override;
  // What the requests since the last call ask for.
  InterruptSteps::Step Poll();

 private:
  void Engage();
  bool engaged_ = false;
  InterruptSteps steps_;
};

}  // namespace ramtune::console
