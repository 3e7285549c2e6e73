#include <cstdlib>
#include <string>

#include "ui/job_record.h"

namespace vantrel::ui {

std::string UserHistoryPath() {
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome != nullptr && stateHome[0] == '/') return std::string(stateHome) + "/vantrel/updates.log";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.local/state/vantrel/updates.log";
}

}  // namespace vantrel::ui
