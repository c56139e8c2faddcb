#include "platform/desktop/clock_jump.h"

#include "platform/clock.h"

#include <cmath>

namespace vesper::desktop {

ClockJumpDetector::ClockJumpDetector(double toleranceSeconds)
    : m_tolerance(toleranceSeconds), m_lastWall(clock().now()), m_lastSteady(clock().monotonic()) {}

std::optional<ClockJumpDetector::Jump> ClockJumpDetector::check() {
    const DateTime wall = clock().now();
    const double steady = clock().monotonic();
    const DateTime expected = m_lastWall + (steady - m_lastSteady) / 86400.0;
    m_lastWall = wall;
    m_lastSteady = steady;
    const double jump = (wall - expected) * 86400.0;
    if (std::abs(jump) <= m_tolerance) return std::nullopt;
    return Jump{expected, wall, jump};
}

} // namespace vesper::desktop
