// How the host's int and float getters read a parameter's text. A value is used only when the
// whole text is a number of the kind asked for, so that "0,5", "yes" or "1.9" never reach the
// plug-in as 0 or 1 without a word.
#pragma once

#include <optional>
#include <string_view>

namespace halvorn_host {

// An integer in the range of int: optional blanks (spaces, tabs), an optional sign, decimal
// digits, optional blanks. Nothing else: "1.9", "1e3", "yes", "0x10" and "" are no integers.
std::optional<int> parseIntParameter(std::string_view text);

// A finite number in decimal or exponent notation ("0.5", "-3", ".5", "2.5e-3"), read as the
// nearest float, with optional blanks around it and an optional sign. Not "0,5", "0.5mm", "inf",
// "nan", "" or a number beyond the float range ("1e400"); one too small for a float ("1e-50")
// reads as 0 with its sign, as the float getter rounds it.
std::optional<float> parseFloatParameter(std::string_view text);

} // namespace halvorn_host
