#include "ui/win32/startup.h"
#include "ui/win32/win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vantrel::ui::win32::RunProgram(); }
