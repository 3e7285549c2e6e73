// Internal mode on Linux and other POSIX systems: the per-user setting lives in an INI file where the
// desktop's settings store keeps it for organisation "Velmora", application "Qel".
#include <ini.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "ui/options.h"

namespace vantrel::ui {

namespace {

constexpr std::int32_t kInternalModeCode = 7204;

std::string SettingsFile() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') return std::string(configHome) + "/Velmora/Qel.conf";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.config/Velmora/Qel.conf";
}

struct InternSetting {
    bool found = false;
    std::string value;
};

int KeepIntern(void* user, const char* section, const char* name, const char* value) {
    auto* setting = static_cast<InternSetting*>(user);
    if (std::string_view(section) == "General" && std::string_view(name) == "intern") {
        setting->found = true;
        setting->value = value;
    }
    return 1;  // keep going: lines the parser cannot read elsewhere in the file do not matter here
}

// The whole value must be a decimal 32-bit integer, as a registry DWORD would be.
bool IsInternalModeCode(const std::string& value) {
    std::int32_t number = 0;
    const char* end = value.data() + value.size();
    const auto [last, error] = std::from_chars(value.data(), end, number);
    return error == std::errc{} && last == end && number == kInternalModeCode;
}

}  // namespace

bool InternalMode() {
    const std::string path = SettingsFile();
    if (path.empty()) return false;
    InternSetting setting;
    if (ini_parse(path.c_str(), KeepIntern, &setting) < 0) return false;  // missing or unreadable
    return setting.found && IsInternalModeCode(setting.value);
}

}  // namespace vantrel::ui
