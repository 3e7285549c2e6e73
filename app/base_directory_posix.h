// The per-user folders of the XDG base directory rules, for the POSIX files of app/.
#pragma once

#include <cstdlib>
#include <string>

namespace vantrel::app {

// The folder the variable names when it holds an absolute path (a relative one is invalid and ignored), else
// homeRelative under $HOME; empty when neither is known.
inline std::string BaseDirectory(const char* variable, const char* homeRelative) {
    const char* set = std::getenv(variable);
    if (set != nullptr && set[0] == '/') return set;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/" + homeRelative;
}

}  // namespace vantrel::app
