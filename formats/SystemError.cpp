#include "SystemError.h"

#include <cctype>
#include <system_error>

namespace qm {

std::string systemErrorReason(int errorNumber) {
    std::string reason = std::generic_category().message(errorNumber);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

} // namespace qm
