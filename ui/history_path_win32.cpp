#include <cstdlib>
#include <string>

#include "ui/job_record.h"

namespace vantrel::ui {

std::string UserHistoryPath() {
    const char* localAppData = std::getenv("LOCALAPPDATA");
    if (localAppData == nullptr || localAppData[0] == '\0') return {};
    return std::string(localAppData) + "\\vantrel\\updates.log";
}

}  // namespace vantrel::ui
