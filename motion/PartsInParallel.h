// Running independent parts of one computation on several threads at once.
#pragma once

#include <cstddef>
#include <functional>

namespace qm {

// Runs work(part) for every part from 0 to parts - 1: part 0 on the calling thread, every other
// part on a thread of its own, and returns when all of them have finished. The parts must not
// depend on one another. An exception that leaves a part is raised here once every thread has
// been joined (that of the lowest part when several fail). A thread that cannot be started
// raises std::runtime_error, after the threads already started have been joined and without
// running part 0.
void runPartsInParallel(std::size_t parts, const std::function<void(std::size_t)>& work);

} // namespace qm
