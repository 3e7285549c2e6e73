// The console's side of the presenter: report lines and verdicts on stdout (or JSON Lines), a live
// status line with a progress bar on a terminal's stderr.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "ui/presenter.h"

namespace vantrel::cli {

struct ConsoleIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
};

class ConsoleWindow final : public ui::WindowOps {
public:
    ConsoleWindow(ConsoleIo io, bool json, std::string port, bool readInfoOnly, std::int32_t windowHandle);

    void AddReport(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    // A console has no controls to switch between the job states.
    void ShowBusy(bool) override {}
    bool ReadInfoOnlyChosen() const override { return readInfoOnly_; }
    std::int32_t WindowHandle() const override { return windowHandle_; }
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override { return progress_; }
    // A console has no taskbar entry; the live status line shows the progress instead.
    void SetApplicationTitle(const std::string&) override {}
    void Beep() override {}
    std::string PortText() const override { return port_; }
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override;

    // A notification as received, before it is presented (JSON Lines only).
    void EmitNotification(std::uint32_t code, std::int32_t value);
    // Ends the live status line so that other stderr output starts on a line of its own.
    void EndStatusLine();


private:
    std::string JsonText(const std::string& text) const;
    void Emit(const char* event, const std::string& text);
    void DrawStatusLine();

    ConsoleIo io_;
    bool json_;
    std::string port_;
    bool readInfoOnly_;
    std::int32_t windowHandle_;
    std::string status_;
    int progress_ = 0;
    bool statusLineShown_ = false;
};

// Latin-1 text (the report may carry bytes of an image file) as UTF-8, for JSON.
std::string Latin1ToUtf8(const std::string& text);
// Control characters (a port name may hold an escape sequence) as \xHH, so a terminal only shows them.
std::string ShownSafely(const std::string& text);

}  // namespace vantrel::cli
