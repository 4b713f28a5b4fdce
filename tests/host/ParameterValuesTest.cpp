// The int and float getters' reading of parameter texts: the whole text a number of the kind
// asked for, or nothing.
#include "ParameterValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

TEST(ParameterValues, IntegersAreWholeTextsOfDigitsWithASignAndBlanks) {
    const std::vector<std::pair<std::string, std::optional<int>>> cases = {
        {"1", 1},
        {"0", 0},
        {"-7", -7},
        {"+7", 7},
        {" \t42 \t", 42},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"1.9", std::nullopt},
        {"1e3", std::nullopt},
        {"yes", std::nullopt},
        {"on", std::nullopt},
        {"0x10", std::nullopt},
        {"1 2", std::nullopt},
        {"+-1", std::nullopt},
        {"++1", std::nullopt},
        {"+", std::nullopt},
        {"- 1", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseIntParameter(text), expected) << '"' << text << '"';
    }
}

TEST(ParameterValues, FloatsAreFiniteDecimalOrExponentNumbers) {
    const std::vector<std::pair<std::string, std::optional<float>>> cases = {
        {"0.5", 0.5F},
        {"0.1", 0.1F},
        {" 150.5\t", 150.5F},
        {"+0.5", 0.5F},
        {"-3", -3.0F},
        {".5", 0.5F},
        {"5.", 5.0F},
        {"2.5e-3", 2.5e-3F},
        {"1E2", 100.0F},
        {"3.4028235e38", std::numeric_limits<float>::max()},
        {"1e-50", 0.0F},
        {"", std::nullopt},
        {"0,5", std::nullopt},
        {"0.5mm", std::nullopt},
        {"abc", std::nullopt},
        {"1e400", std::nullopt},
        {"3.5e38", std::nullopt},
        {"inf", std::nullopt},
        {"-infinity", std::nullopt},
        {"nan", std::nullopt},
        {"0x1p3", std::nullopt},
        {"1e", std::nullopt},
        {"+-1", std::nullopt},
        {"1 000", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseFloatParameter(text), expected) << '"' << text << '"';
    }
    EXPECT_TRUE(std::signbit(*parseFloatParameter("-1e-50"))) << "an underflow keeps its sign";
}

} // namespace
} // namespace halvorn_host
