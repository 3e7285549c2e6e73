// What the operator sees of a job, and when a job starts again by itself. The one consumer of the
// worker's notifications, shared by the desktop window and the console front end: each implements
// WindowOps and only renders, so both show the same texts and follow the same restart rules.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "engine/comm_thread.h"

namespace vantrel::ui {

// The main window's operations the presenter drives.
class WindowOps {
public:
    virtual ~WindowOps() = default;
    virtual void AddReport(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Modal: returns once the operator has seen the message.
    virtual void ShowInfoMessage(const std::string& text) = 0;
    virtual void SetIdle() = 0;
    virtual void StartJob(engine::TCmd cmd) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetApplicationTitle(const std::string& title) = 0;
    virtual void Beep() = 0;
    // The text of the port box: the port the operator sees, named in the no-port verdict.
    virtual std::string PortText() const = 0;
    // Runs restart after delay, by blocking or by a timer; the window stays busy meanwhile.
    virtual void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) = 0;
};

// Report, then status line, then message window.
void Announce(WindowOps& window, const std::string& text);

inline constexpr const char* kApplicationTitle = "Vantrel Firmware Update";

// One line of the report: "hh-nn-ss -> text" in local time.
std::string ReportLine(std::time_t when, const std::string& text);

class Presenter {
public:
    // maxRestarts bounds the automatic restarts of one job (nullopt: as many as the worker asks for).
    explicit Presenter(WindowOps& window, std::optional<int> maxRestarts = std::nullopt)
        : window_(window), maxRestarts_(maxRestarts) {}

    // Presents one notification. Returns the exit status once the job has ended for good: 0 after a
    // verified update, the failure code (1 for an unexpected failure), or 30 / 44 when the restart bound
    // stopped a communication retry / a programming-error repeat.
    std::optional<int> Handle(std::uint32_t code, std::int32_t value);

    // A job the operator started: the restart bound counts from here.
    void ResetRestarts() { restarts_ = 0; }
    int Restarts() const { return restarts_; }

    // The text the verdict of a failure code shows.
    static std::string FailureText(std::int32_t failure, const std::string& portText);

private:
    bool MayRestart();
    std::optional<int> Failure(std::int32_t failure);
    void RestartAfterCommunicationError(engine::TCmd cmd);

    WindowOps& window_;
    std::optional<int> maxRestarts_;
    int restarts_ = 0;
};

}  // namespace vantrel::ui
