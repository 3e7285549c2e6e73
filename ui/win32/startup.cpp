#include "ui/win32/startup.h"

#include "ui/win32/win32.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/options.h"
#include "engine/comm_thread.h"
#include "ui/win32/main_window.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

std::unique_ptr<TfrmMain> StartProgram(std::vector<std::string> args, OperatorDialogs& dialogs,
                                       app::PortSource& ports) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    app::SetCommandLine(std::move(args));
    auto frmMain = std::make_unique<TfrmMain>(dialogs, ports);
    frmMain->InitForms();
    return frmMain;
}

std::vector<std::string> ProgramArguments() {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(ToUtf8(wide[i]));
        LocalFree(wide);
    }
    // Parameter 0 is the program file's full path, whatever the command line called it.
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    if (args.empty()) args.emplace_back();
    if (!path.empty()) args.front() = ToUtf8(path);
    return args;
}

bool ShowProgramInfo(const std::string& text) {
    // A window program gets no console of its own: a redirected standard output, or the console of the
    // command prompt it was started from, is where a command line's answer is read.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool given = out != nullptr && out != INVALID_HANDLE_VALUE;
    if (!given && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
               written == text.size();
    }
    return MessageBoxW(nullptr, FromText(text).c_str(), L"vantrel-update", MB_OK | MB_ICONINFORMATION) != 0;
}

int RunProgram() {
    // COM for the taskbar button's progress (and the shell's dialogs); without it the window works all the
    // same, its button without progress.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    StandardDialogs dialogs;
    std::unique_ptr<TfrmMain> frmMain = StartProgram(ProgramArguments(), dialogs, app::SystemPortSource());
    frmMain->SetQuitOnDestroy(true);
    frmMain->Show();
    MSG message;
    int status = 0;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            status = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) break;
        // Tab and the arrow keys move between the main window's controls, as in a dialog.
        if (frmMain->Handle() != nullptr && DialogKeys(frmMain->Handle(), message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    frmMain.reset();
    engine::WaitForWorkersToEnd();
    if (com) CoUninitialize();
    return status;
}

}  // namespace vantrel::ui::win32
