// The two files that carry Quelmar's dialog parameters outside the library, made from the one
// list in plugin/TaskParameters.h: the host's dialog script "Quelmar.js" and the parameter file
// "quelmar-defaults.params" that Halvorn.exe reads with --params.
#pragma once

#include <string>

namespace qm::tools {

inline constexpr const char kDialogScriptFileName[] = "Quelmar.js";
inline constexpr const char kDefaultParameterFileName[] = "quelmar-defaults.params";

// The JavaScript dialog: the dialog description as data plus the small functions that store
// the parameters and run a task through the host.
std::string dialogScript();

// NAME=VALUE lines with the shipped defaults, each under comments saying what it does and why
// it has that default. A parameter that several tasks read appears once.
std::string defaultParameterFile();

} // namespace qm::tools
