// Notices the wall clock moving against the steady clock: a machine that woke
// from sleep (the steady clock stands still while it sleeps) or a clock set
// by hand or by time synchronisation.
#pragma once

#include "platform/dates.h"

#include <optional>

namespace vesper::desktop {

class ClockJumpDetector {
public:
    struct Jump {
        DateTime from;  // the wall clock the steady clock led us to expect
        DateTime to;    // the wall clock now
        double seconds; // positive: the clock moved forward
        // Whether a moment was skipped over by a forward jump.
        bool passes(DateTime moment) const { return seconds > 0 && from < moment && moment <= to; }
    };

    // Jumps smaller than the tolerance are the clocks' ordinary drift.
    explicit ClockJumpDetector(double toleranceSeconds = 2.0);

    // Call regularly (each tick of the caller). The jump since the last call,
    // when the wall clock moved more than the tolerance away from the steady
    // clock; the program's replaceable clock gives both.
    std::optional<Jump> check();

private:
    double m_tolerance;
    DateTime m_lastWall;
    double m_lastSteady;
};

} // namespace vesper::desktop
