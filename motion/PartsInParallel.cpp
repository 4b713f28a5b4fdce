#include "PartsInParallel.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace qm {

void runPartsInParallel(std::size_t parts, const std::function<void(std::size_t)>& work) {
    if (parts == 0) {
        return;
    }
    // One slot per part, each written only by the thread of its part and read after the joins.
    std::vector<std::exception_ptr> errors(parts);
    std::optional<std::string> notStarted;
    {
        // std::jthread joins on destruction: every started thread has finished when this block
        // is left, however it is left.
        std::vector<std::jthread> threads;
        threads.reserve(parts - 1);
        for (std::size_t part = 1; part < parts; ++part) {
            try {
                threads.emplace_back([&work, &errors, part] {
                    try {
                        work(part);
                    } catch (...) {
                        errors[part] = std::current_exception();
                    }
                });
            } catch (const std::system_error& error) {
                notStarted = "Cannot start thread " + std::to_string(part + 1) + " of " +
                             std::to_string(parts) + " (" + error.what() + "); use fewer threads.";
                break;
            }
        }
        if (!notStarted) {
            try {
                work(0);
            } catch (...) {
                errors[0] = std::current_exception();
            }
        }
    }
    if (notStarted) {
        throw std::runtime_error(*notStarted);
    }
    for (const std::exception_ptr& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
}

} // namespace qm
