// The log stream hands text to the host only on flush or destruction, one call each time.
#include "HNZTLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> received;
void recordLogText(const char* text) {
    received.emplace_back(text);
}

class HNZTLogTest : public ::testing::Test {
protected:
    void SetUp() override { received.clear(); }
    std::unique_ptr<HNZTLog> log = std::make_unique<HNZTLog>(recordLogText);
};

TEST_F(HNZTLogTest, NothingReachesTheHostBeforeAFlushNotEvenANewline) {
    *log << "first line\nsecond line\n" << 42;
    EXPECT_TRUE(received.empty());
    *log << std::flush;
    EXPECT_EQ(received, (std::vector<std::string>{"first line\nsecond line\n42"}));
}

TEST_F(HNZTLogTest, FlushingAnEmptyStreamSendsAnEmptyText) {
    *log << std::flush;
    EXPECT_EQ(received, (std::vector<std::string>{""}));
}

TEST_F(HNZTLogTest, TwoMessagesWithoutFlushArriveAsOneText) {
    *log << "Quelmar>  one";
    *log << "Quelmar>  two";
    log->flush();
    *log << "Quelmar>  three" << std::flush;
    EXPECT_EQ(received,
              (std::vector<std::string>{"Quelmar>  oneQuelmar>  two", "Quelmar>  three"}));
}

TEST_F(HNZTLogTest, DestructionAfterAFlushSendsOneEmptyText) {
    *log << "text" << std::flush;
    log.reset();
    EXPECT_EQ(received, (std::vector<std::string>{"text", ""}));
}

TEST_F(HNZTLogTest, DestructionHandsOverPendingText) {
    *log << "pending";
    log.reset();
    EXPECT_EQ(received, (std::vector<std::string>{"pending"}));
}

TEST_F(HNZTLogTest, NumbersUseDefaultFormattingWhateverTheGlobalLocale) {
    *log << 1234567 << ' ' << -5 << ' ' << 0.5F << ' ' << 1.2345678F << ' ' << 2.0F << ' '
         << 0.00001F << ' ' << 1e6F << std::flush;
    EXPECT_EQ(received.back(), "1234567 -5 0.5 1.23457 2 1e-05 1e+06");
}

TEST_F(HNZTLogTest, FlushNeverSetsTheStreamsBadState) {
    for (int i = 0; i < 3; ++i) {
        *log << "x" << std::flush;
    }
    EXPECT_TRUE(log->good());
}

} // namespace
