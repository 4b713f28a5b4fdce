// Links of the report page: file paths as URLs.
#pragma once

#include <string>
#include <string_view>

namespace halvorn_host {

// A relative path as a URL: "/" stays, unreserved characters (letters, digits, "-._~") stay,
// every other byte is %XX with capital hex digits. Names with blanks, "#", "%" or non-ASCII
// letters thus link to themselves.
std::string urlFromRelativePath(std::string_view path);

} // namespace halvorn_host
