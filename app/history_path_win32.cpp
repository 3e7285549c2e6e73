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

bool AppendWholeLine(const std::string& path, const std::string& line) {
    // Opened for appending only (FILE_APPEND_DATA without FILE_WRITE_DATA): the system puts each WriteFile
    // at the end of the file as one piece, whoever else appends, so the whole line is one write. Shared
    // for reading and writing, so that two stations and the windows keep appending side by side.
    const HANDLE file = CreateFileW(link::WidenUtf8(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string whole = line + '\n';
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        char last = '\n';
        DWORD read = 0;
        if (ReadFile(file, &last, 1, &read, &at) && read == 1 && last != '\n') whole.insert(whole.begin(), '\n');
    }
    DWORD written = 0;
    const bool wrote = WriteFile(file, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return wrote && written == whole.size();
}

}  // namespace vantrel::app
