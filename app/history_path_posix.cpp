#include <string>

#include "app/base_directory_posix.h"
#include "app/job_record.h"

namespace vantrel::app {

std::string UserHistoryPath() {
    const std::string stateHome = BaseDirectory("XDG_STATE_HOME", ".local/state");
    return stateHome.empty() ? stateHome : stateHome + "/vantrel/updates.log";
}

}  // namespace vantrel::app
