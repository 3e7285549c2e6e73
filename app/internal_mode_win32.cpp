// Internal mode on Windows: the per-user registry value "intern" under Software\Velmora\Qel.
#include "link/windows_headers.h"

#include "app/options.h"

namespace vantrel::app {

namespace {
constexpr DWORD kInternalModeCode = 7204;
}

bool InternalMode() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora\\Qel", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG result = RegQueryValueExW(key, L"intern", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    // Only a 32-bit integer counts; a value of another type (a string "7204" included) is operator mode.
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) && value == kInternalModeCode;
}

}  // namespace vantrel::app
