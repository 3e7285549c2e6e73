#include "ui/program_info.h"
#include "ui/win32/startup.h"
#include "ui/win32/win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (const auto text = vantrel::ui::WindowInfoText(vantrel::ui::win32::ProgramArguments())) {
        return vantrel::ui::win32::ShowProgramInfo(*text) ? 0 : 1;
    }
    return vantrel::ui::win32::RunProgram();
}
