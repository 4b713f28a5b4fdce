// Tick marks of a scale, shared by the plots' axes and the map pictures' colour bar: round steps
// (1, 2, 2.5 or 5 times a power of ten) and the multiples of the step within the range.
#pragma once

#include <string>
#include <vector>

namespace halvorn_host {

// The smallest round step that divides `span` into at most about `count` intervals (at least
// one); 1 when `span` is not a positive finite number.
double tickStep(double span, double count);

// The multiples of `step` from `lower` to `upper`, ends included where they are multiples (a
// rounding error away counts as on them), 0 as +0, at most 1000 of them.
std::vector<double> tickValues(double lower, double upper, double step);

// `value` with as many decimals as `step` needs (a step of 2.5 one more than its power of ten),
// independent of any locale: "0.25", "1.50", "20". Without a usable step, six significant digits.
std::string fixedTickLabel(double value, double step);

} // namespace halvorn_host
