// The record of a job for files that outlive the window: one summary line a job (when it began and ended,
// the port, the logger before and after, the image, the verdict, the exit status, the restarts), built the
// same way by every front end. JobControl keeps the record of the running job and hands the finished line
// to a sink the front end chose: the console's --log file, the windows' per-user history.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "firmware/header.h"

namespace vantrel::app {

using WallTime = std::chrono::system_clock::time_point;

// ISO 8601 in local time with milliseconds and the offset from UTC: "2026-12-10T15:36:37.123+01:00".
std::string IsoTime(WallTime when);

// A field value for a line of key=value pairs: as it is when it holds no blank, quote, backslash or control
// character; otherwise in double quotes with \" \\ and \xHH. An empty value is "-".
std::string SummaryValue(const std::string& text);

class JobRecord {
public:
    // A job the operator started: the clock of its duration starts, the logger's state is forgotten.
    void Begin(const std::string& port, WallTime when);
    // What the job's notifications tell about the logger and the image.
    void Note(std::uint32_t code, std::int32_t value);
    // The image the job chose.
    void NoteImage(const firmware::TBl3FileHeader& image) { image_ = image; }
    // The class and version the logger reported last were its bootloader's; what runs now is not known.
    void ForgetLoggerAfter() {
        classAfter_.reset();
        versionAfter_.reset();
    }
    // The summary line of the job that ended with this exit status and verdict text.
    std::string Finish(int status, const std::string& verdict, int restarts, WallTime when) const;

    bool Running() const { return begun_.has_value(); }
    void Clear() { begun_.reset(); }

private:
    std::optional<WallTime> begun_;
    std::string port_;
    std::optional<std::int32_t> classBefore_, versionBefore_, classAfter_, versionAfter_;
    std::optional<std::int32_t> platform_, print_;
    std::optional<firmware::TBl3FileHeader> image_;
    bool programmed_ = false;
};

// Where the windows keep their history: $XDG_STATE_HOME/vantrel/updates.log (default
// ~/.local/state/vantrel/updates.log), %LOCALAPPDATA%\vantrel\updates.log on Windows (in UTF-8). Empty when neither
// the variable nor a home directory is known. Per system: history_path_posix.cpp, history_path_win32.cpp.
std::string UserHistoryPath();

// Appends one line to the per-user history, making its folder first. A history that cannot be written
// changes nothing the operator sees: the job it records is over either way.
void AppendToUserHistory(const std::string& line);

// Appends line and its end to the file in one write at the file's end, so that the lines of several
// writers on one machine (two stations, a station and a window) never interleave and a crash leaves a
// line whole or not at all; a last line left without its end by an earlier writer gets it first. False
// when the file could not be written. Per system, beside UserHistoryPath.
bool AppendWholeLine(const std::string& path, const std::string& line);

}  // namespace vantrel::app
