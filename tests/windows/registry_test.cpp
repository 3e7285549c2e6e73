// The registry readers against a scratch key that stands in for the real root keys, so that neither the
// machine's port list nor the user's setting is touched.
#include "link/windows_headers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "app/port_list.h"

namespace vantrel::ui {
namespace {

// Redirects one predefined root key to a fresh key under HKEY_CURRENT_USER\Software for the life of the
// object, and removes that key afterwards.
class RedirectedRoot {
public:
    explicit RedirectedRoot(HKEY root) : root_(root) {
        path_ = L"Software\\VantrelTest-" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stand_in_,
                            nullptr) != ERROR_SUCCESS) {
            stand_in_ = nullptr;
            return;
        }
        overridden_ = RegOverridePredefKey(root_, stand_in_) == ERROR_SUCCESS;
    }
    ~RedirectedRoot() {
        if (overridden_) RegOverridePredefKey(root_, nullptr);
        if (stand_in_ != nullptr) RegCloseKey(stand_in_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    RedirectedRoot(const RedirectedRoot&) = delete;
    RedirectedRoot& operator=(const RedirectedRoot&) = delete;

    bool Ready() const { return overridden_; }

    // Creates subkey (below the stand-in) and sets one value there.
    void Set(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(stand_in_, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetString(const std::wstring& subkey, const std::wstring& name, const std::wstring& text) {
        Set(subkey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

private:
    HKEY root_;
    HKEY stand_in_ = nullptr;
    std::wstring path_;
    bool overridden_ = false;
};

const std::wstring kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Wine enumerates values sorted by name, Windows in the order they were made: the names are chosen so
// that both orders agree, while neither the port names nor their numbers are in order.
TEST(RegistryPortSource, ListsVirtualPortsByTheirDataInEnumerationOrder) {
    RedirectedRoot machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.Ready());
    machine.SetString(kSerialComm, L"\\Device\\Serial0", L"COM1");
    machine.SetString(kSerialComm, L"\\Device\\USBSER000\\Device\\VCP2", L"COM7");  // the path, not at the start
    machine.SetString(kSerialComm, L"\\Device\\VCP0", L"COM5");
    machine.SetString(kSerialComm, L"\\DEVICE\\vcp1", L"COM12");
    machine.SetString(kSerialComm, L"\\Device\\VCP3", L"COM3");

    const std::vector<app::PortEntry> entries = app::SystemPortSource().Enumerate();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[2].name, "COM5");
    EXPECT_EQ(entries[2].devicePath, "\\Device\\VCP0");
    EXPECT_EQ(entries[3].devicePath, "\\DEVICE\\vcp1") << "value names are handed on as enumerated";

    std::vector<std::string> list{"stale"};
    app::ListSerialPorts(list);
    EXPECT_EQ(list, (std::vector<std::string>{"COM5", "COM12", "COM3"}));
}

TEST(RegistryPortSource, DataWithoutItsTerminatingZeroCountsAndNonStringValuesAreNoPorts) {
    RedirectedRoot machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.Ready());
    const std::wstring unterminated = L"COM9";
    machine.Set(kSerialComm, L"\\Device\\VCP4", REG_SZ, unterminated.data(),
                static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    const DWORD number = 4;
    machine.Set(kSerialComm, L"\\Device\\VCP9", REG_DWORD, &number, sizeof(number));

    std::vector<std::string> list;
    app::ListSerialPorts(list);
    EXPECT_EQ(list, (std::vector<std::string>{"COM9"}));
}

TEST(RegistryPortSource, NoDeviceMapKeyGivesAnEmptyList) {
    RedirectedRoot machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.Ready());
    std::vector<std::string> list{"COM5"};
    app::ListSerialPorts(list);
    EXPECT_TRUE(list.empty());
}

TEST(RegistryInternalMode, OnlyTheNumber7204AsA32BitIntegerSwitchesItOn) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;  // empty with type REG_NONE: no value at all
    };
    const auto dword = [](DWORD v) { return std::vector<BYTE>{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}; };
    const std::wstring text = L"7204";
    const Case cases[] = {
        {"7204", REG_DWORD, dword(7204)},
        {"7205", REG_DWORD, dword(7205)},
        {"0", REG_DWORD, dword(0)},
        {"7204 as text", REG_SZ,
         std::vector<BYTE>(reinterpret_cast<const BYTE*>(text.c_str()),
                           reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1))},
        {"7204 as 64 bits", REG_QWORD, {0x24, 0x1C, 0, 0, 0, 0, 0, 0}},
        {"7204 as four raw bytes", REG_BINARY, dword(7204)},
        {"no value", REG_NONE, {}},
    };
    for (const Case& c : cases) {
        RedirectedRoot user(HKEY_CURRENT_USER);
        ASSERT_TRUE(user.Ready());
        if (!c.data.empty()) {
            user.Set(L"Software\\Velmora\\Qel", L"intern", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        } else {
            user.SetString(L"Software\\Velmora\\Qel", L"other", L"7204");
        }
        EXPECT_EQ(app::InternalMode(), std::string(c.name) == "7204") << c.name;
    }
}

TEST(RegistryInternalMode, NoKeyIsOperatorMode) {
    RedirectedRoot user(HKEY_CURRENT_USER);
    ASSERT_TRUE(user.Ready());
    EXPECT_FALSE(app::InternalMode());
}

}  // namespace
}  // namespace vantrel::ui
