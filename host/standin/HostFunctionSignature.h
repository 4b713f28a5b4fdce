// A host's exported functions must have exactly the signatures the plug-in calls them with.
#pragma once

#include <halvorn/HalvornPluginApi.h>

#include <type_traits>

// Stops the build when the host function `name` differs from halvorn::name_t. Used one to a
// line, without a semicolon.
#define HALVORN_CHECK_SIGNATURE(name)                                                              \
    static_assert(std::is_same_v<decltype(&name), halvorn::name##_t>, #name);
