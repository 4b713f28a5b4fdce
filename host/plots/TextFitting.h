// Cutting a text to a width by measuring as few prefixes as possible: a measurement costs time in
// proportion to the prefix, so a name of a million characters must not be measured once per
// character it loses.
#pragma once

#include <cstddef>

namespace halvorn_host {

// The largest count in 0 .. total for which `fits(count)` holds, where `fits` holds for 0 and for
// every count up to some limit, and for none above it. `fits` is asked about O(log limit) counts,
// none much above twice the limit: the count doubles from 1 until it no longer fits, then the
// step between the last count that fit and the first that did not is halved.
template <typename Fits> std::size_t longestFittingCount(std::size_t total, Fits&& fits) {
    std::size_t fitting = 0; // fits
    std::size_t tooMany = 0; // does not fit; 0 while none is known
    for (std::size_t count = 1; tooMany == 0; count *= 2) {
        if (count >= total) {
            if (fits(total)) {
                return total;
            }
            tooMany = total;
        } else if (fits(count)) {
            fitting = count;
        } else {
            tooMany = count;
        }
    }
    while (tooMany - fitting > 1) {
        const std::size_t middle = fitting + (tooMany - fitting) / 2;
        if (fits(middle)) {
            fitting = middle;
        } else {
            tooMany = middle;
        }
    }
    return fitting;
}

} // namespace halvorn_host
