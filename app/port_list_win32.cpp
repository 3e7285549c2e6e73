// The Windows port source: the system's serial device map in the registry, one string value per present
// port, named by the device path and holding the port name. Names and texts are handed on in UTF-8,
// like every name of the program on Windows. What a port's USB adapter says about itself comes from
// the device installer's list of ports beside it, as far as the driver tells it; a port it does not find
// keeps its name alone.
#include "link/windows_headers.h"

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <cctype>
#include <vector>

#include "app/port_list.h"
#include "link/ansi_text_win32.h"

namespace vantrel::app {

namespace {

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
    text = link::NarrowToUtf8(std::wstring(data.data(), length));
    return true;
}

std::string RegistryString(HKEY key, const wchar_t* name) {
    std::string text;
    return StringValue(key, name, text) ? text : std::string();
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> data(512, L'\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, reinterpret_cast<BYTE*>(data.data()),
                                           static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t)), nullptr)) {
        return {};
    }
    // A multi-string (the hardware IDs) is read up to its first string.
    std::size_t length = 0;
    while (length < data.size() && data[length] != L'\0') ++length;
    return link::NarrowToUtf8(std::wstring(data.data(), length));
}

// The four hex digits after "VID_" or "PID_" in a hardware ID such as USB\VID_0403&PID_6001&REV_0600.
std::string IdAfter(const std::string& hardwareId, const char* key) {
    std::string upper = hardwareId;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::size_t at = upper.find(key);
    if (at == std::string::npos || at + 8 > upper.size()) return {};
    std::string id = hardwareId.substr(at + 4, 4);
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
}

// The USB device's serial number is the last part of its instance ID, unless the system made one up
// (those hold an '&').
std::string ParentSerialNumber(DEVINST device) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) return {};
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(parent, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
    const std::wstring instance(id);
    if (instance.rfind(L"USB\\", 0) != 0) return {};
    const std::size_t slash = instance.rfind(L'\\');
    const std::wstring last = instance.substr(slash + 1);
    if (last.empty() || last.find(L'&') != std::wstring::npos) return {};
    return link::NarrowToUtf8(last);
}

void AddAdapterIdentities(std::vector<PortEntry>& entries) {
    const HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::string portName = RegistryString(key, L"PortName");
        RegCloseKey(key);
        for (PortEntry& entry : entries) {
            if (portName.empty() || entry.name != portName) continue;
            const std::string hardwareId = DeviceProperty(devices, device, SPDRP_HARDWAREID);
            entry.identity.vendorId = IdAfter(hardwareId, "VID_");
            entry.identity.productId = IdAfter(hardwareId, "PID_");
            entry.identity.manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
            entry.identity.product = DeviceProperty(devices, device, SPDRP_DEVICEDESC);
            entry.identity.serialNumber = ParentSerialNumber(device.DevInst);
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
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
                const LONG result = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                                                  nullptr);
                if (result == ERROR_NO_MORE_ITEMS) break;  // a port went away while we looked
                if (result != ERROR_SUCCESS) continue;
                const std::wstring valueName(name.data(), nameLength);
                std::string portName;
                if (!StringValue(key, valueName, portName)) continue;
                entries.push_back({portName, link::NarrowToUtf8(valueName), {}});
            }
        }
        RegCloseKey(key);
        AddAdapterIdentities(entries);
        return entries;
    }
};

}  // namespace

PortSource& SystemPortSource() {
    static RegistryPortSource source;
    return source;
}

}  // namespace vantrel::app
