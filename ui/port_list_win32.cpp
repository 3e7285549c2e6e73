// The Windows port source: the system's serial device map in the registry, one string value per present
// port, named by the device path and holding the port name. Texts are handed on in the ANSI code page,
// the 8-bit form the rest of the program works in.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

#include "ui/port_list.h"

namespace vantrel::ui {

namespace {

std::string Narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

// The string data of a value, read by its name as enumerated. False when the value is gone or holds no
// string: then it names no port.
bool StringValue(HKEY key, const std::wstring& name, std::string& text) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    // The stored data may or may not end with its terminating zero.
    std::size_t length = bytes / sizeof(wchar_t);
    while (length > 0 && data[length - 1] == L'\0') --length;
    text = Narrow(data.data(), length);
    return true;
}

class RegistryPortSource final : public PortSource {
public:
    std::vector<PortEntry> Enumerate() override {
        std::vector<PortEntry> entries;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"hardware\\devicemap\\serialcomm", 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
            return entries;
        }
        DWORD valueCount = 0;
        DWORD longestName = 0;
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, &longestName,
                             nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::vector<wchar_t> name(longestName + 1, L'\0');
            for (DWORD index = 0; index < valueCount; ++index) {
                DWORD nameLength = static_cast<DWORD>(name.size());
                const LONG result =
                    RegEnumValueW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
                if (result == ERROR_NO_MORE_ITEMS) break;  // a port went away while we looked
                if (result != ERROR_SUCCESS) continue;
                const std::wstring valueName(name.data(), nameLength);
                std::string portName;
                if (!StringValue(key, valueName, portName)) continue;
                entries.push_back({portName, Narrow(valueName.data(), valueName.size()), {}});
            }
        }
        RegCloseKey(key);
        return entries;
    }
};

}  // namespace

PortSource& SystemPortSource() {
    static RegistryPortSource source;
    return source;
}

}  // namespace vantrel::ui
