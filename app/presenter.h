// What the operator sees of a job: the one place that turns the worker's notifications into texts and
// the channels they go to (report, status line, message window), shared by every front end. Each front end
// implements WindowOps and only renders. Whether a job goes on, restarts or has ended is JobControl's
// (app/job_control.h), which asks the presenter for the texts of each step.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "app/window_ops.h"
#include "firmware/catalogue.h"

namespace vantrel::app {

// Report, then status line, then message window.
void Announce(WindowOps& window, const std::string& text);

// One line of the report: "hh-nn-ss -> text" in local time.
std::string ReportLine(std::time_t when, const std::string& text);

// The process's exit status for a job that ended with this failure code: the code itself when it is one
// the worker raises, 1 for anything else (an unexpected failure inside the worker).
int ExitStatusOfFailure(std::int32_t failure);

// The images a job's texts name: its image file's (null: none) and the one its worker chose.
struct JobImages {
    const firmware::FileImage* file = nullptr;
    std::int32_t selected = firmware::kNoImageSelected;
};

class Presenter {
public:
    explicit Presenter(WindowOps& window) : window_(window) {}

    // "Start at serial port ..." and the empty bar: a worker starts on port.
    void ShowStart(const std::string& port);
    // The texts of a notification that neither ends nor restarts a job (report lines, progress).
    void Show(std::uint32_t code, std::int32_t value, const JobImages& images);

    // The verified update: the full bar first, the verdict once the job's end is recorded.
    void ShowUpdateDone();
    static std::string UpdateDoneText(const firmware::TBl3FileHeader& image);
    // The repeat of a job whose transfer went unanswered.
    void ShowCommunicationRestart();
    static const char* CommunicationRestartText();
    // A failure's verdict: the beep at once; the verdict on its channels once the job's end is recorded,
    // followed by what it leaves unsaid (detail, a sentence; may be empty) in the report and the message.
    void ShowFailureBeep();
    void ShowFailure(std::int32_t failure, const std::string& verdict, const std::string& detail);
    void ShowVerdict(const std::string& verdict);
    // What a verdict already shown leaves unsaid (a sentence; nothing when empty), in the report.
    void ShowDetail(const std::string& sentence);

    // The text the verdict of a failure code shows.
    static std::string FailureText(std::int32_t failure, const std::string& portText);
    // What a verdict leaves unsaid, as clauses (lower case, no full stop) that the console joins to its own:
    // a cancel after the start request (only the request is known, not that the firmware runs), and a
    // logger whose application programming had begun to replace.
    static const char* StartRequestedClause();
    static const char* LeftInBootloaderClause();
    // The clauses as the sentence that follows a verdict.
    static std::string Sentence(const std::string& clauses);

private:
    WindowOps& window_;
};

}  // namespace vantrel::app
