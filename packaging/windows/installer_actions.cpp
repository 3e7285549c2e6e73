// The installer's own action, run before it checks for files in use, on install, repair, upgrade and
// removal alike: the programs must not be replaced or removed under a running job, and an idle window
// left open would keep its program file in use until the next restart.
//  1. While a job runs, or a window shows a job's verdict the operator has not dismissed yet (the marker of
//     app/job_marker.h exists either way), it waits, up to kJobWaitLimit in all; a job still running then
//     makes the installer stop with a message that says so, and nothing is changed.
//  2. Each window of the installed program (vantrel-update.exe in the installation folder, matched by its
//     full path, not by a name any program could have) is asked to close as its close button does, and
//     the action waits for it to end.
//  3. A window still there then is ended with the system's taskkill, called by its full path in the
//     system folder, after one more look for a job.
// Every step is written to the installer's log (msiexec /l*v), so that it says what it did.
// The system's headers first: the installer's and the process list's need them.
#include "link/windows_headers.h"

#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/job_marker.h"

namespace {

using namespace std::chrono_literals;

// Longer than the longest job (the largest image at the slowest line takes about eleven minutes).
constexpr auto kJobWaitLimit = 30min;
constexpr auto kCloseWaitLimit = 15s;
constexpr auto kPoll = 500ms;

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, (L"Vantrel Firmware Update: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// An error the user sees (in a dialog, or in the log of a silent install) before the installer stops.
void ShowError(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, text.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONWARNING), record);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// The installation folder: its target path, or the property where the path is not known (yet).
std::wstring InstallFolder(MSIHANDLE install) {
    std::wstring path(MAX_PATH * 4, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (MsiGetTargetPathW(install, L"INSTALLDIR", path.data(), &size) != ERROR_SUCCESS) {
        size = static_cast<DWORD>(path.size());
        if (MsiGetPropertyW(install, L"INSTALLDIR", path.data(), &size) != ERROR_SUCCESS) size = 0;
    }
    path.resize(size);
    // Not resolved in every sequence (an upgrade's): the folder the installer's source names.
    if (path.empty()) {
        path.assign(MAX_PATH * 4, L'\0');
        size = static_cast<DWORD>(path.size());
        if (MsiGetPropertyW(install, L"ProgramFiles64Folder", path.data(), &size) != ERROR_SUCCESS) size = 0;
        path.resize(size);
        if (!path.empty()) {
            if (path.back() != L'\\') path += L'\\';
            path += L"Vantrel Firmware Update";
        }
    }
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

// The window's program where it is installed, found by its component (packaging/windows/vantrel-update.wxs:
// WindowProgram, the same in every version) whichever product put it there, or nothing. Windows resolves
// a removal's folder to where the components are, but not every installer engine does, and an upgrade
// run without the folder given resolves it to the default: the installed program is looked for as well.
std::wstring InstalledWindowProgram() {
    std::wstring path(MAX_PATH * 4, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (MsiLocateComponentW(L"{AD91BE54-9E02-4F3D-A45B-C198CA3B7227}", path.data(), &size) != INSTALLSTATE_LOCAL) {
        return {};
    }
    path.resize(size);
    return path;
}

// The processes whose program file is `program` (compared without case, as Windows does).
std::vector<DWORD> ProcessesOf(const std::wstring& program) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (Lower(entry.szExeFile) != L"vantrel-update.exe") continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process == nullptr) continue;
        wchar_t path[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        if (QueryFullProcessImageNameW(process, 0, path, &size) && Lower(path) == Lower(program)) {
            found.push_back(entry.th32ProcessID);
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

BOOL CALLBACK AskToClose(HWND window, LPARAM processes) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    const auto& ids = *reinterpret_cast<const std::vector<DWORD>*>(processes);
    for (const DWORD id : ids) {
        if (id == owner && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
    return TRUE;
}

bool WaitForEnd(const std::vector<DWORD>& ids, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (const DWORD id : ids) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (process == nullptr) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until -
                                                                                std::chrono::steady_clock::now());
        const DWORD status = WaitForSingleObject(process, left.count() > 0 ? static_cast<DWORD>(left.count()) : 0);
        CloseHandle(process);
        if (status != WAIT_OBJECT_0) return false;
    }
    return true;
}

bool RunTaskkill(MSIHANDLE install, DWORD id) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring program = std::wstring(system) + L"\\taskkill.exe";
    std::wstring command = L"\"" + program + L"\" /f /pid " + std::to_wstring(id);
    Log(install, L"running " + command);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    WaitForSingleObject(info.hProcess, 30000);
    DWORD status = 1;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return status == 0;
}

// Waits while a job runs or its verdict is on screen; false if that lasts past the limit (the user has
// been told).
bool WaitForJobs(MSIHANDLE install) {
    using vantrel::app::JobRunningOnMachine;
    if (!JobRunningOnMachine()) return true;
    Log(install,
        L"a job is running, or a window shows a job's verdict not yet dismissed; waiting until the job has "
        L"ended and its verdict is dismissed before the programs are replaced");
    const auto until = std::chrono::steady_clock::now() + kJobWaitLimit;
    while (JobRunningOnMachine()) {
        if (std::chrono::steady_clock::now() >= until) {
            ShowError(install,
                      L"Vantrel Firmware Update is still updating a logger. The installation stops so that "
                      L"the job is not cut off: run it again when the job has ended. Nothing was changed.");
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    Log(install, L"the job has ended and no verdict is on screen");
    return true;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CloseRunningWindow(MSIHANDLE install) {
    const std::wstring folder = InstallFolder(install);
    if (!WaitForJobs(install)) return ERROR_INSTALL_USEREXIT;
    if (folder.empty()) {
        Log(install, L"the installation folder is not known; no window looked for");
        return ERROR_SUCCESS;
    }
    std::vector<std::wstring> programs{folder + L"vantrel-update.exe"};
    const std::wstring installed = InstalledWindowProgram();
    if (!installed.empty() && Lower(installed) != Lower(programs.front())) programs.push_back(installed);
    std::wstring names;
    std::vector<DWORD> ids;
    for (const std::wstring& program : programs) {
        for (const DWORD id : ProcessesOf(program)) ids.push_back(id);
        names += (names.empty() ? L"" : L" and ") + program;
    }
    if (ids.empty()) {
        Log(install, L"no window of " + names + L" is open");
        return ERROR_SUCCESS;
    }
    Log(install,
        L"asking the open window to close (" + std::to_wstring(ids.size()) + L" process(es) of " + names + L")");
    EnumWindows(AskToClose, reinterpret_cast<LPARAM>(&ids));
    if (WaitForEnd(ids, kCloseWaitLimit)) {
        Log(install, L"the window has closed");
        return ERROR_SUCCESS;
    }
    // A job started in the meantime wins over the installation again.
    if (!WaitForJobs(install)) return ERROR_INSTALL_USEREXIT;
    for (const std::wstring& program : programs) {
        for (const DWORD id : ProcessesOf(program)) {
            if (!RunTaskkill(install, id)) Log(install, L"taskkill could not end process " + std::to_wstring(id));
        }
    }
    WaitForEnd(ids, kCloseWaitLimit);
    Log(install, L"the window was ended");
    return ERROR_SUCCESS;
}
