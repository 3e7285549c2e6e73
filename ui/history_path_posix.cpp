#include <string>

#include "ui/base_directory_posix.h"
#include "ui/job_record.h"

namespace vantrel::ui {

std::string UserHistoryPath() {
    const std::string stateHome = BaseDirectory("XDG_STATE_HOME", ".local/state");
    return stateHome.empty() ? stateHome : stateHome + "/vantrel/updates.log";
}

}  // namespace vantrel::ui
