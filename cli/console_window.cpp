#include "cli/console_window.h"

#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>

#include "link/clock.h"

namespace vantrel::cli {

namespace {
constexpr int kBarWidth = 30;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

ConsoleWindow::ConsoleWindow(ConsoleIo io, bool json, std::string port, bool readInfoOnly, std::int32_t windowHandle)
    : io_(io), json_(json), port_(std::move(port)), readInfoOnly_(readInfoOnly), windowHandle_(windowHandle) {}

std::string ShownSafely(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            shown += "\\x";
            shown.push_back(kHex[byte >> 4]);
            shown.push_back(kHex[byte & 0xF]);
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

// The texts are Latin-1 (image header fields and code-table names may carry such bytes) except the port
// name, which is the operator's own text and passes as typed.
std::string ConsoleWindow::JsonText(const std::string& text) const {
    const std::size_t at = port_.empty() ? std::string::npos : text.find(port_);
    if (at == std::string::npos) return Latin1ToUtf8(text);
    return Latin1ToUtf8(text.substr(0, at)) + port_ + Latin1ToUtf8(text.substr(at + port_.size()));
}

void ConsoleWindow::Emit(const char* event, const std::string& text) {
    // A port name that is not UTF-8 shows its odd bytes as U+FFFD rather than failing the job's output;
    // control characters are escaped by the JSON writer.
    io_.out << nlohmann::ordered_json{{"event", event}, {"text", JsonText(text)}}.dump(
                   -1, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n'
            << std::flush;
}

void ConsoleWindow::AddReport(const std::string& text) {
    if (json_) return Emit("report", text);
    EndStatusLine();
    io_.out << ui::ReportLine(std::time(nullptr), ShownSafely(text)) << '\n' << std::flush;
    DrawStatusLine();
}

void ConsoleWindow::SetStatusText(const std::string& text) {
    if (json_) return Emit("status", text);
    status_ = ShownSafely(text);
    DrawStatusLine();
}

void ConsoleWindow::ShowInfoMessage(const std::string& text) {
    if (json_) return Emit("message", text);
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

void ConsoleWindow::EmitNotification(std::uint32_t code, std::int32_t value) {
    if (!json_) return;
    io_.out << nlohmann::ordered_json{{"event", "notification"}, {"code", code}, {"value", value}}.dump() << '\n' << std::flush;
}

void ConsoleWindow::DrawStatusLine() {
    if (json_ || !io_.errIsTerminal) return;
    const int filled = progress_ * kBarWidth / 100;
    std::string line = "\r\x1b[2K[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " +
                       std::to_string(progress_) + "% " + status_;
    io_.err << line << std::flush;
    statusLineShown_ = true;
}

void ConsoleWindow::EndStatusLine() {
    if (!statusLineShown_) return;
    io_.err << "\r\x1b[2K" << std::flush;
    statusLineShown_ = false;
}

}  // namespace vantrel::cli
