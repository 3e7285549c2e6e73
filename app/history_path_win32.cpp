#include "link/windows_headers.h"

#include <cstdlib>
#include <string>

#include "app/job_record.h"
#include "link/ansi_text_win32.h"

namespace vantrel::app {

// UTF-8 like every name of the program: a user's folder may hold any character.
std::string UserHistoryPath() {
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    if (localAppData == nullptr || localAppData[0] == L'\0') return {};
    return link::NarrowToUtf8(localAppData) + "\\vantrel\\updates.log";
}

}  // namespace vantrel::app
