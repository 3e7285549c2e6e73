#include "cli/console_window.h"

#include <algorithm>
#include <ctime>
#include <iostream>
#include <tuple>

#include "cli/program_name.h"
#include "cli/shown_safely.h"
#include "link/clock.h"
#include "link/failures.h"

namespace vantrel::cli {

namespace {

constexpr int kBarWidth = 30;

double Seconds(std::chrono::milliseconds duration) { return static_cast<double>(duration.count()) / 1000.0; }

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleIo io, JsonLines* json, JobLog* log, std::string port)
    : io_(io), json_(json), log_(log), port_(std::move(port)), timeLeft_(link::CurrentClock()) {}

void ConsoleWindow::Emit(const char* event, const std::string& text) {
    json_->Emit(event, {{"text", JobTextAsJson(text, port_)}});
}

void ConsoleWindow::PrepareLastWords(const std::string& lastReport) {
    if (io_.lastWords == nullptr) return;
    const std::string detail =
        "ended at once by a second signal, whatever state the logger is in; the job's last "
        "report: " +
        lastReport;
    std::string before;
    std::string after;
    if (json_ != nullptr) {
        // Written in one piece by the handler: the time is that of the last report, the nearest known.
        std::tie(before, after) = SignalExitEventHalves(JobTextAsJson(detail, port_));
    }
    io_.lastWords(before, after, std::string(kProgramPrefix) + ShownSafely(detail) + "\n");
}

void ConsoleWindow::AddReport(const std::string& text) {
    PrepareLastWords(text);
    if (log_ != nullptr) log_->Report(text, std::chrono::system_clock::now());
    if (json_ != nullptr) return Emit("report", text);
    EndStatusLine();
    io_.out << app::ReportLine(std::time(nullptr), ShownSafely(text)) << '\n' << std::flush;
    DrawStatusLine();
}

void ConsoleWindow::AddProgressReport(const std::string& text) {
    if (!BarOnSameScreen()) return AddReport(text);
    if (log_ != nullptr) log_->Report(text, std::chrono::system_clock::now());
}

void ConsoleWindow::SetStatusText(const std::string& text) {
    if (json_ != nullptr) return Emit("status", text);
    status_ = ShownSafely(text);
    DrawStatusLine();
}

void ConsoleWindow::ShowInfoMessage(const std::string& text) {
    if (json_ != nullptr) return Emit("message", text);
    EndStatusLine();
    io_.out << ShownSafely(text) << '\n' << std::flush;
}

void ConsoleWindow::SetProgressPosition(int position) {
    progress_ = position;
    DrawStatusLine();
}

void ConsoleWindow::ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) {
    link::Sleep(delay);
    restart();
}

void ConsoleWindow::JobStarted() { timeLeft_.JobStarted(); }

void ConsoleWindow::EmitNotification(const engine::Notification& n) {
    timeLeft_.Note(n);
    if (json_ == nullptr) return;
    const char* name = engine::NotifyCodeName(n.code);
    nlohmann::ordered_json fields{
        {"code", n.code}, {"name", name != nullptr ? nlohmann::ordered_json(name) : nullptr}, {"value", n.value}};
    if (n.code == engine::ncFailure) {
        const char* failure = link::FailureCodeName(n.value);
        fields["failure"] = failure != nullptr ? nlohmann::ordered_json(failure) : nullptr;
    }
    json_->Emit("notification", fields);
    if (n.code != engine::ncProgress) return;
    const std::optional<app::TimeLeft::Estimate> left = timeLeft_.Left();
    json_->Emit("progress", {{"percent", n.value},
                             {"records_done", n.position},
                             {"records_total", n.total},
                             {"elapsed_s", Seconds(timeLeft_.Elapsed())},
                             {"remaining_s", left ? nlohmann::ordered_json(Seconds(left->left)) : nullptr}});
}

namespace {

// The text cut to at most this many characters, never inside one of UTF-8's multi-byte characters.
std::string FirstColumns(const std::string& text, std::size_t columns) {
    std::size_t seen = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        if (seen++ == columns) return text.substr(0, at);
    }
    return text;
}

// The columns a text takes on a terminal: one for each character, not for each byte of its UTF-8.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return columns;
}

}  // namespace

void ConsoleWindow::Tick() { DrawStatusLine(); }

void ConsoleWindow::DrawStatusLine() {
    if (json_ != nullptr || !io_.errIsTerminal) return;
    const int columns = io_.errColumns ? io_.errColumns() : 0;
    std::string times = std::to_string(progress_) + "% " + app::ClockText(timeLeft_.Elapsed()) + " elapsed";
    if (const std::optional<app::TimeLeft::Estimate> left = timeLeft_.Left()) {
        times += ", " + app::LeftText(*left);
    }
    // A line as wide as the terminal or wider wraps, and the next redraw then leaves a stale row behind: it
    // is kept one column short of the width. The times are what an operator waits for, so on a narrow
    // terminal the bar gives way first (down to nothing), then the status text, then the times' end.
    const std::size_t room = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
    int barWidth = kBarWidth;
    if (room > 0) {
        const std::size_t besideBar = FirstColumns(times, room).size() + std::string("[] ").size();
        barWidth = room > besideBar ? std::min<int>(kBarWidth, static_cast<int>(room - besideBar)) : 0;
    }
    const int filled = progress_ * barWidth / 100;
    std::string line = barWidth > 0 ? "[" + std::string(static_cast<std::size_t>(filled), '#') +
                                          std::string(static_cast<std::size_t>(barWidth - filled), ' ') + "] "
                                    : std::string();
    line += times + "  " + status_;
    if (room > 0) line = FirstColumns(line, room);
    if (io_.errTakesEscapes) {
        io_.err << ClearStatusRows(columns) << line << std::flush;
    } else {
        // Blanks over what a longer line before left behind.
        const std::size_t width = line.size();
        if (width < statusLineWidth_) line += std::string(statusLineWidth_ - width, ' ');
        io_.err << '\r' << line << std::flush;
        statusLineWidth_ = width;
    }
    statusLineColumns_ = Columns(line);
    statusLineShown_ = true;
}

std::string ConsoleWindow::ClearStatusRows(int columns) const {
    // A terminal made narrower since the last redraw wraps that line anew over several rows, the cursor on
    // the last of them: every one of them is cleared, or the rows above stay on the screen for good.
    const std::size_t rowsAbove = statusLineShown_ && columns > 0 && statusLineColumns_ > 0
                                      ? (statusLineColumns_ - 1) / static_cast<std::size_t>(columns)
                                      : 0;
    if (rowsAbove == 0) return "\r\x1b[2K";
    return "\x1b[" + std::to_string(rowsAbove) + "A\r\x1b[J";
}

void ConsoleWindow::EndStatusLine() {
    if (!statusLineShown_) return;
    if (io_.errTakesEscapes) {
        io_.err << ClearStatusRows(io_.errColumns ? io_.errColumns() : 0) << std::flush;
    } else {
        io_.err << '\r' << std::string(statusLineWidth_, ' ') << '\r' << std::flush;
        statusLineWidth_ = 0;
    }
    statusLineShown_ = false;
    statusLineColumns_ = 0;
}

}  // namespace vantrel::cli
