#include "app/job_record.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/local_time.h"
#include "engine/notify.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"

namespace vantrel::app {

namespace {

std::string Number(const std::optional<std::int32_t>& value) { return value ? std::to_string(*value) : "-"; }

// A version word as the logger reports it: major in the high byte, minor in the low one.
std::string Version(const std::optional<std::int32_t>& word) {
    if (!word) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%d.%.2d", (*word >> 8) & 0xFF, *word & 0xFF);
    return text;
}

}  // namespace

std::string IsoTime(WallTime when) {
    using namespace std::chrono;
    const auto millis = duration_cast<milliseconds>(when.time_since_epoch());
    const std::int64_t seconds = floor<std::chrono::seconds>(millis).count();
    const auto fraction = static_cast<int>(millis.count() - seconds * 1000);
    const std::tm local = LocalTime(static_cast<std::time_t>(seconds));
    // The offset is what the local calendar time is ahead of the instant, read from the conversion itself so
    // that it holds on every system and in summer as in winter.
    const sys_days localDay{year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                            day{static_cast<unsigned>(local.tm_mday)}};
    const std::int64_t localSeconds = duration_cast<std::chrono::seconds>(localDay.time_since_epoch()).count() +
                                      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    const std::int64_t offsetMinutes = (localSeconds - seconds) / 60;
    const std::int64_t absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, fraction,
                  offsetMinutes < 0 ? '-' : '+', static_cast<int>(absolute / 60), static_cast<int>(absolute % 60));
    return text;
}

std::string SummaryValue(const std::string& text) {
    if (text.empty()) return "-";
    bool plain = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\\' || c == '=') plain = false;
    }
    if (plain) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

void JobRecord::Begin(const std::string& port, WallTime when) {
    *this = JobRecord{};
    begun_ = when;
    port_ = port;
}

void JobRecord::Note(std::uint32_t code, std::int32_t value) {
    switch (code) {
        case engine::ncClass:
            if (!classBefore_) classBefore_ = value;
            classAfter_ = value;
            break;
        case engine::ncVersion:
            if (!versionBefore_) versionBefore_ = value;
            versionAfter_ = value;
            break;
        case engine::ncPlatform: platform_ = value; break;
        case engine::ncPrint: print_ = value; break;
        case engine::ncUpdateStart: programmed_ = true; break;
        default: break;
    }
}

std::string JobRecord::Finish(int status, const std::string& verdict, int restarts, WallTime when) const {
    const WallTime begun = begun_.value_or(when);
    std::string image = "-";
    std::optional<std::int32_t> versionAfter = versionAfter_;
    if (image_) {
        const firmware::TBl3FileHeader& h = *image_;
        char version[16];
        std::snprintf(version, sizeof version, "V%d.%.2d", h.qel_verH, h.qel_verL);
        image = firmware::LoggerClassName(h.qel_class, h.qel_print) + " " + version;
        // The started firmware reports its class, not its version: after a verified update it is the image's.
        if (status == 0) versionAfter = (h.qel_verH << 8) | h.qel_verL;
    }
    // After a programming began and failed the application is partly written: no version can be told.
    if (status != 0 && programmed_) versionAfter.reset();
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", std::chrono::duration<double>(when - begun).count());
    return IsoTime(when) + " job start=" + IsoTime(begun) + " end=" + IsoTime(when) + " port=" + SummaryValue(port_) +
           " adapter=- class-before=" + Number(classBefore_) + " version-before=" + Version(versionBefore_) +
           " class-after=" + Number(classAfter_) + " version-after=" + Version(versionAfter) +
           " platform=" + Number(platform_) + " print=" + Number(print_) + " image=" + SummaryValue(image) +
           " verdict=" + SummaryValue(verdict) + " status=" + std::to_string(status) + " duration=" + duration +
           " restarts=" + std::to_string(restarts);
}

void AppendToUserHistory(const std::string& line) {
    const std::string name = UserHistoryPath();
    if (name.empty()) return;
    // The name is UTF-8 (on POSIX systems, bytes taken as they are); the line is UTF-8 too.
    const std::filesystem::path path(std::u8string(name.begin(), name.end()));
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    AppendWholeLine(name, line);
}

}  // namespace vantrel::app
