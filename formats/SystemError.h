// The reason an operating-system call failed, as a user reads it in a message.
#pragma once

#include <string>

namespace qm {

// The system's description of the error number `errorNumber`, starting with a lower-case letter
// so that it reads well in parentheses after a path: "permission denied",
// "no space left on device".
std::string systemErrorReason(int errorNumber);

} // namespace qm
