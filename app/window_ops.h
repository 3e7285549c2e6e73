// What a front end offers the shared code: its widgets, nothing more. The Qt window, the Win32 window and
// the console each implement WindowOps; the presenter decides every text and restart, and JobControl
// (app/job_control.h) starts, restarts and cancels jobs through these operations.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::app {

class WindowOps {
public:
    virtual ~WindowOps() = default;
    virtual void AddReport(const std::string& text) = 0;
    // A "Progress N%" line of the report. A front end that shows the progress elsewhere in the same place
    // (the console's status line on the same terminal) may leave it out there.
    virtual void AddProgressReport(const std::string& text) { AddReport(text); }
    virtual void SetStatusText(const std::string& text) = 0;
    // Modal: returns once the operator has seen the message.
    virtual void ShowInfoMessage(const std::string& text) = 0;
    // A job's verdict in the message window, followed on a line of its own by what the verdict leaves
    // unsaid (empty when nothing): the verdict text itself stays as operators know it.
    virtual void ShowVerdictMessage(const std::string& verdict, const std::string& detail) {
        ShowInfoMessage(detail.empty() ? verdict : verdict + "\r\n" + detail);
    }
    // The controls of the two job states. Busy: Update and the port box disabled, Cancel in Close's place,
    // the hourglass. Idle: the reverse. May be called again for the state already shown (a restart starts
    // a job while busy), so it must only set, never toggle.
    virtual void ShowBusy(bool busy) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetApplicationTitle(const std::string& title) = 0;
    virtual void Beep() = 0;
    // Runs restart after delay, by blocking or by a timer; the window stays busy meanwhile.
    virtual void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) = 0;
    // A job the operator started has ended for good with this exit status (0: verified update), its record
    // written; called before its verdict is shown.
    virtual void JobEnded(int status) { static_cast<void>(status); }
};

inline constexpr const char* kApplicationTitle = "Vantrel Firmware Update";

}  // namespace vantrel::app
