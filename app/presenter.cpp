#include "app/presenter.h"

#include <cstdarg>
#include <cstdio>

#include "app/exit_status.h"
#include "app/local_time.h"
#include "engine/engine_times.h"
#include "engine/notify.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/failures.h"

namespace vantrel::app {

namespace {

using engine::TCmd;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The texts carry port names and image header fields of any length: measured first, then written whole.
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::uint16_t Code(std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }

// "Update ..." / "Check ..." name an image by its class, version, board and bootloader.
std::string ImageText(const char* verb, std::int32_t image) {
    const firmware::TBl3FileHeader h = firmware::GetFirmwareHeader(image);
    return Format("%s %s V%d.%.2d, %s, BL%d.%d", verb, firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(),
                  h.qel_verH, h.qel_verL, firmware::PrintName(h.qel_print).c_str(), h.qel_bl, h.qel_bl_ver);
}

enum class Channels { Report, ReportThenStatus, MessageOnly, All };

void Show(WindowOps& window, Channels channels, const std::string& text) {
    switch (channels) {
        case Channels::Report: window.AddReport(text); break;
        case Channels::ReportThenStatus:
            window.AddReport(text);
            window.SetStatusText(text);
            break;
        case Channels::MessageOnly: window.ShowInfoMessage(text); break;
        case Channels::All: Announce(window, text); break;
    }
}

// The notifications that only show one text made from their value; an empty text shows nothing.
struct TextRow {
    std::uint32_t code;
    Channels channels;
    std::string (*text)(std::int32_t value);
};

constexpr TextRow kTextRows[] = {
    {engine::ncProgrammingError, Channels::ReportThenStatus,
     [](std::int32_t v) { return Format("Aborted because programming error at line %d !", v); }},
    {engine::ncConversionError, Channels::Report,
     // The notification carries the record's index; the operator is shown where it stands in its file.
     [](std::int32_t v) {
         return Format("Aborted because conversion error at line  %d !", firmware::ImageLineNumber(v));
     }},
    {engine::ncClass, Channels::Report,
     [](std::int32_t v) {
         return Format("Class %d [%s]", v, firmware::LoggerClassName(Code(v), firmware::kNoCode).c_str());
     }},
    {engine::ncVersion, Channels::Report,
     [](std::int32_t v) { return Format("Version %d.%d", (v >> 8) & 0xFF, v & 0xFF); }},
    {engine::ncPlatform, Channels::Report,
     [](std::int32_t v) { return Format("Platform %d [%s]", v, firmware::PlatformName(Code(v)).c_str()); }},
    {engine::ncPrint, Channels::Report,
     [](std::int32_t v) { return Format("Print %d [%s]", v, firmware::PrintName(Code(v)).c_str()); }},
    {engine::ncInfo, Channels::Report, [](std::int32_t v) { return Format("Info %d", v); }},
    {engine::ncUpdateClass, Channels::Report,
     [](std::int32_t v) {
         return Format("Update class %d [%s]", v, firmware::LoggerClassName(Code(v), firmware::kNoCode).c_str());
     }},
    // The image the worker chose, not the value: the worker wrote SelectedImage before posting this.
    {engine::ncUpdateStart, Channels::ReportThenStatus,
     [](std::int32_t) { return ImageText("Update", firmware::SelectedImage); }},
    {engine::ncCheckImage, Channels::Report, [](std::int32_t v) { return ImageText("Check", v); }},
    {engine::ncUpdateId, Channels::Report,
     [](std::int32_t v) { return Format("Update Info %.4X", static_cast<unsigned>(v)); }},
    {engine::ncVectorTable, Channels::Report,
     [](std::int32_t v) {
         if (v == 0) return std::string("Vector table is saved.");
         if (v == 1) return std::string("Vector table is programmed.");
         return std::string();
     }},
};

const TextRow* FindTextRow(std::uint32_t code) {
    for (const TextRow& row : kTextRows) {
        if (row.code == code) return &row;
    }
    return nullptr;
}

constexpr const char* kCommunicationRestartText = "Repeat update because communication error!";
constexpr const char* kStartedNotVerifiedText = "The new firmware was started; only its verification was cancelled.";

// The verdict of every failure code a worker raises (feNoAnswer arrives as ncRetryComm instead).
struct FailureRow {
    std::int32_t failure;
    const char* text;
    Channels channels;
};

constexpr FailureRow kFailureRows[] = {
    {link::feNoPort, "Aborted because serial port \"%s\" is not ready!", Channels::All},
    {link::feIo, "Aborted because error when reading/writing to serial port!", Channels::All},
    {link::feCancelled, "Process cancelled!", Channels::All},
    {link::feNoUpdate, "Aborted because no update is available for this logger!", Channels::All},
    {link::feLoggerError, "Aborted because the logger is not ready!", Channels::All},
    {link::feBadLastLine, "Aborted because last line is wrong !", Channels::All},
    // The failing record was reported already, by ncConversionError.
    {link::feConversion, "Aborted because conversion error!", Channels::MessageOnly},
    // Followed by the repeat of the job.
    {link::feProgramming, "Repeat because programming error!", Channels::ReportThenStatus},
    {link::feNotVerified, "Update was not successfull!", Channels::All},
    {link::feInvalidAnswer, "Aborted because the logger transmitted an invalid answer!", Channels::All},
    {link::feNoMatchingImage, "There is no update available or the logger has another update ID!", Channels::All},
    {link::feInfoOnly, "Only read update info!", Channels::All},
};
constexpr FailureRow kUnexpectedFailure{0, "Fatal Exception has occurred!", Channels::All};

const FailureRow& FindFailureRow(std::int32_t failure) {
    for (const FailureRow& row : kFailureRows) {
        if (row.failure == failure) return row;
    }
    return kUnexpectedFailure;
}

}  // namespace

void Announce(WindowOps& window, const std::string& text) {
    window.AddReport(text);
    window.SetStatusText(text);
    window.ShowInfoMessage(text);
}

std::string ReportLine(std::time_t when, const std::string& text) {
    const std::tm local = LocalTime(when);
    return Format("%02d-%02d-%02d -> ", local.tm_hour, local.tm_min, local.tm_sec) + text;
}

int ExitStatusOfFailure(std::int32_t failure) {
    return &FindFailureRow(failure) == &kUnexpectedFailure ? kExitUnexpected : failure;
}

std::string Presenter::FailureText(std::int32_t failure, const std::string& portText) {
    const FailureRow& row = FindFailureRow(failure);
    if (row.failure == link::feNoPort) return Format(row.text, portText.c_str());
    return row.text;
}

std::optional<int> Presenter::Handle(std::uint32_t code, std::int32_t value) {
    detail_.clear();
    jobs_.Note(code, value);
    const std::optional<int> status = Present(code, value);
    if (status) jobs_.Finished(*status, verdict_);
    return status;
}

std::optional<int> Presenter::Present(std::uint32_t code, std::int32_t value) {
    if (const TextRow* row = FindTextRow(code)) {
        const std::string text = row->text(value);
        if (!text.empty()) Show(window_, row->channels, text);
        return std::nullopt;
    }
    switch (code) {
        case engine::ncDone: {
            window_.SetProgressPosition(100);
            jobs_.SetIdle();
            const firmware::TBl3FileHeader h = firmware::GetFirmwareHeader(firmware::SelectedImage);
            verdict_ = Format("Update %s V%d.%.2d succesfully completed.",
                              firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(), h.qel_verH, h.qel_verL);
            // The record is written when the job ends, not when the operator has read the verdict.
            jobs_.Finished(0, verdict_);
            Announce(window_, verdict_);
            return 0;
        }
        case engine::ncProgress:
            window_.AddProgressReport(Format("Progress %d%%", value));
            window_.SetProgressPosition(value);
            window_.SetApplicationTitle(Format("%d%%", window_.ProgressPosition()));
            return std::nullopt;
        case engine::ncFailure: return Failure(value);
        case engine::ncRetryComm: {
            window_.SetStatusText(kCommunicationRestartText);
            window_.AddReport(kCommunicationRestartText);
            if (!jobs_.MayRestart()) {
                jobs_.SetIdle();
                verdict_ = kCommunicationRestartText;
                return link::feNoAnswer;
            }
            // The cancel request is read when the restarted job starts, after the wait, so a Cancel given
            // meanwhile stops it.
            const auto cmd = static_cast<TCmd>(value & 0xFF);
            window_.ScheduleRestart(engine::kCommunicationRestartWait, [this, cmd] { jobs_.Restart(cmd); });
            return std::nullopt;
        }
        default: return std::nullopt;
    }
}

std::optional<int> Presenter::Failure(std::int32_t failure) {
    jobs_.SetIdle();
    window_.Beep();
    verdict_ = FailureText(failure, window_.PortText());
    if (failure == link::feProgramming && jobs_.MayRestart()) {
        Show(window_, FindFailureRow(failure).channels, verdict_);
        jobs_.Restart(TCmd::tCMD0);
        return std::nullopt;
    }
    const int status = failure == link::feCancelled && jobs_.TimeLimitReached() ? kExitTimedOut
                                                                                : ExitStatusOfFailure(failure);
    // A cancel after the start request stops only the check of the new firmware, which already runs: the
    // operator must not take the logger for one left in its bootloader, and the record names no class.
    if (failure == link::feCancelled && jobs_.ApplicationStarted()) {
        detail_ = kStartedNotVerifiedText;
        jobs_.ForgetLoggerAfter();
    }
    // The record is written when the job ends, not when the operator has read the verdict.
    jobs_.Finished(status, detail_.empty() ? verdict_ : verdict_ + " " + detail_);
    Show(window_, FindFailureRow(failure).channels, verdict_);
    if (!detail_.empty()) window_.AddReport(detail_);
    return status;
}

}  // namespace vantrel::app
