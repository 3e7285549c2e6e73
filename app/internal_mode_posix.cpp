// Internal mode on Linux and other POSIX systems: the per-user setting lives in an INI file where the
// desktop's settings store keeps it for organisation "Velmora", application "Qel".
#include <fcntl.h>
#include <ini.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "app/base_directory_posix.h"
#include "app/options.h"

namespace vantrel::app {

namespace {

constexpr std::int32_t kInternalModeCode = 7204;
// A settings file holds a few lines; anything much larger is not one.
constexpr off_t kMaxSettingsFileSize = 64 * 1024;

std::string SettingsFile() {
    const std::string configHome = BaseDirectory("XDG_CONFIG_HOME", ".config");
    return configHome.empty() ? configHome : configHome + "/Velmora/Qel.conf";
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

// The file's text, if it is a regular file of a sensible size. A FIFO would block start-up until some
// writer came, and a device such as /dev/zero would never end: neither is a settings file. Opened without
// blocking so that even the open of a FIFO returns at once.
std::optional<std::string> ReadSettingsFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxSettingsFileSize) {
        std::string content(static_cast<std::size_t>(kMaxSettingsFileSize) + 1, '\0');
        std::size_t size = 0;
        for (;;) {
            const ssize_t got = ::read(fd, content.data() + size, content.size() - size);
            if (got > 0) {
                size += static_cast<std::size_t>(got);
                if (size == content.size()) break;  // grew past the cap while being read
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got == 0) {
                content.resize(size);
                text = std::move(content);
            }
            break;
        }
    }
    ::close(fd);
    return text;
}

}  // namespace

bool InternalMode() {
    const std::string path = SettingsFile();
    if (path.empty()) return false;
    const std::optional<std::string> text = ReadSettingsFile(path);
    if (!text) return false;  // missing, unreadable or not a settings file at all
    InternSetting setting;
    if (ini_parse_string(text->c_str(), KeepIntern, &setting) < 0) return false;
    return setting.found && IsInternalModeCode(setting.value);
}

}  // namespace vantrel::app
