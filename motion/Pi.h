#pragma once

namespace qm {

// π in single precision, computed once when the library is loaded as 4 · atan(1), so that
// degree-to-radian conversions round exactly as the host's own motion code does.
extern const float kPi;

} // namespace qm
