// The parameter store of a stand-in host that answers whatever the plug-in asks, for programs that
// drive the plug-in with parameters they set themselves (the fuzz and the benchmark hosts): a
// name never set reads as an empty text, a text that does not begin with a number reads as 0.
#pragma once

#include <charconv>
#include <map>
#include <string>

namespace halvorn_host {

using ParameterTexts = std::map<std::string, std::string>;

// The text stored under `name`, or an empty text.
inline std::string parameterText(const ParameterTexts& parameters, const char* name) {
    const auto found = parameters.find(name);
    return found == parameters.end() ? std::string() : found->second;
}

// The number the text under `name` begins with, or 0.
template <typename Number>
Number parameterNumber(const ParameterTexts& parameters, const char* name) {
    const std::string text = parameterText(parameters, name);
    Number value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace halvorn_host
