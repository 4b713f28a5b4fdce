// Independent parts on several threads: every part runs once, part 0 on the caller's thread,
// and an exception from any part reaches the caller after all threads are joined.
#include "PartsInParallel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

using ::testing::HasSubstr;

TEST(PartsInParallel, RunsEveryPartOnceAndPartZeroOnTheCallingThread) {
    for (std::size_t parts = 0; parts <= 9; ++parts) {
        std::vector<std::atomic<int>> runs(parts);
        std::vector<std::thread::id> threads(parts);
        runPartsInParallel(parts, [&](std::size_t part) {
            ++runs[part];
            threads[part] = std::this_thread::get_id();
        });
        std::set<std::thread::id> distinct;
        for (std::size_t part = 0; part < parts; ++part) {
            EXPECT_EQ(runs[part].load(), 1) << part << " of " << parts;
            distinct.insert(threads[part]);
        }
        if (parts > 0) {
            EXPECT_EQ(threads[0], std::this_thread::get_id());
            EXPECT_EQ(distinct.size(), parts) << "one thread per part";
        }
    }
}

TEST(PartsInParallel, AnExceptionOfAnyPartReachesTheCallerAfterEveryPartHasEnded) {
    for (std::size_t failing : {0U, 1U, 3U}) {
        std::atomic<int> finished = 0;
        try {
            runPartsInParallel(4, [&](std::size_t part) {
                if (part == failing) {
                    throw std::runtime_error("part " + std::to_string(part) + " failed");
                }
                // The others take a while, so that the failure comes first.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ++finished;
            });
            ADD_FAILURE() << "no exception from part " << failing;
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr("part " + std::to_string(failing) + " failed"));
        }
        EXPECT_EQ(finished.load(), 3) << "the other parts ran to their end before the throw";
    }
}

TEST(PartsInParallel, OfSeveralFailingPartsTheLowestIsReported) {
    try {
        runPartsInParallel(5, [](std::size_t part) {
            if (part >= 2) {
                throw std::out_of_range("part " + std::to_string(part));
            }
        });
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "part 2");
    }
}

} // namespace
} // namespace qm
