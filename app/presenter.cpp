#include "app/presenter.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>

#include "app/exit_status.h"
#include "app/job_rules.h"
#include "app/local_time.h"
#include "engine/notify.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/failures.h"

namespace vantrel::app {

namespace {

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
std::string ImageText(const char* verb, const firmware::TBl3FileHeader& h) {
    return Format("%s %s V%d.%.2d, %s, BL%d.%d", verb, firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(),
                  h.qel_verH, h.qel_verL, firmware::PrintName(h.qel_print).c_str(), h.qel_bl, h.qel_bl_ver);
}

enum class Channels { Report, ReportThenStatus, MessageOnly, All };

// A text on its channels; a verdict's message window also shows what the verdict leaves unsaid (detail).
void ShowOn(WindowOps& window, Channels channels, const std::string& text, const std::string& detail = {}) {
    if (channels != Channels::MessageOnly) window.AddReport(text);
    if (channels == Channels::ReportThenStatus || channels == Channels::All) window.SetStatusText(text);
    if (channels == Channels::MessageOnly || channels == Channels::All) window.ShowVerdictMessage(text, detail);
}

// The notifications that only show one text made from their value; an empty text shows nothing.
struct TextRow {
    std::uint32_t code;
    Channels channels;
    std::string (*text)(std::int32_t value, const JobImages& images);
};

constexpr TextRow kTextRows[] = {
    // As for the conversion error: the record's place in its file, when it came from one.
    {engine::ncProgrammingError, Channels::ReportThenStatus,
     [](std::int32_t v, const JobImages& images) {
         return Format("Aborted because programming error at line %d !",
                       firmware::ImageLineNumber(images.selected, v, images.file));
     }},
    {engine::ncConversionError, Channels::Report,
     // The notification carries the record's index; the operator is shown where it stands in its file.
     [](std::int32_t v, const JobImages& images) {
         return Format("Aborted because conversion error at line  %d !",
                       firmware::ImageLineNumber(images.selected, v, images.file));
     }},
    {engine::ncClass, Channels::Report,
     [](std::int32_t v, const JobImages&) {
         return Format("Class %d [%s]", v, firmware::LoggerClassName(Code(v), firmware::kNoCode).c_str());
     }},
    {engine::ncVersion, Channels::Report,
     [](std::int32_t v, const JobImages&) { return Format("Version %d.%d", (v >> 8) & 0xFF, v & 0xFF); }},
    {engine::ncPlatform, Channels::Report,
     [](std::int32_t v, const JobImages&) {
         return Format("Platform %d [%s]", v, firmware::PlatformName(Code(v)).c_str());
     }},
    {engine::ncPrint, Channels::Report,
     [](std::int32_t v, const JobImages&) { return Format("Print %d [%s]", v, firmware::PrintName(Code(v)).c_str()); }},
    {engine::ncInfo, Channels::Report, [](std::int32_t v, const JobImages&) { return Format("Info %d", v); }},
    {engine::ncUpdateClass, Channels::Report,
     [](std::int32_t v, const JobImages&) {
         return Format("Update class %d [%s]", v, firmware::LoggerClassName(Code(v), firmware::kNoCode).c_str());
     }},
    // The image the worker chose, not the value: the worker told its choice before posting this.
    {engine::ncUpdateStart, Channels::ReportThenStatus,
     [](std::int32_t, const JobImages& images) {
         return ImageText("Update", firmware::GetFirmwareHeader(images.selected, images.file));
     }},
    {engine::ncCheckImage, Channels::Report,
     [](std::int32_t v, const JobImages& images) {
         return ImageText("Check", firmware::GetFirmwareHeader(v, images.file));
     }},
    {engine::ncUpdateId, Channels::Report,
     [](std::int32_t v, const JobImages&) { return Format("Update Info %.4X", static_cast<unsigned>(v)); }},
    {engine::ncVectorTable, Channels::Report,
     [](std::int32_t v, const JobImages&) {
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
constexpr const char* kStartRequestedClause =
    "the start of the new firmware was requested; whether it runs was not checked";
constexpr const char* kLeftInBootloaderClause =
    "the logger is left in its bootloader without a startable firmware; another update brings it back";

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

const char* Presenter::StartRequestedClause() { return kStartRequestedClause; }

const char* Presenter::LeftInBootloaderClause() { return kLeftInBootloaderClause; }

std::string Presenter::Sentence(const std::string& clauses) {
    if (clauses.empty()) return {};
    std::string sentence = clauses;
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    if (sentence.back() != '.') sentence += '.';
    return sentence;
}

const char* Presenter::CommunicationRestartText() { return kCommunicationRestartText; }

void Presenter::ShowStart(const std::string& port) {
    const std::string text = StartJobText(port);
    window_.AddReport(text);
    window_.SetStatusText(text);
    window_.SetProgressPosition(0);
}

void Presenter::Show(std::uint32_t code, std::int32_t value, const JobImages& images) {
    if (const TextRow* row = FindTextRow(code)) {
        const std::string text = row->text(value, images);
        if (!text.empty()) ShowOn(window_, row->channels, text);
        return;
    }
    if (code == engine::ncProgress) {
        window_.AddProgressReport(Format("Progress %d%%", value));
        window_.SetProgressPosition(value);
        window_.SetApplicationTitle(Format("%d%%", window_.ProgressPosition()));
    }
}

void Presenter::ShowUpdateDone() { window_.SetProgressPosition(100); }

std::string Presenter::UpdateDoneText(const firmware::TBl3FileHeader& h) {
    return Format("Update %s V%d.%.2d succesfully completed.",
                  firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(), h.qel_verH, h.qel_verL);
}

void Presenter::ShowCommunicationRestart() {
    window_.SetStatusText(kCommunicationRestartText);
    window_.AddReport(kCommunicationRestartText);
}

void Presenter::ShowFailureBeep() { window_.Beep(); }

void Presenter::ShowFailure(std::int32_t failure, const std::string& verdict, const std::string& detail) {
    ShowOn(window_, FindFailureRow(failure).channels, verdict, detail);
    ShowDetail(detail);
}

void Presenter::ShowDetail(const std::string& sentence) {
    if (!sentence.empty()) window_.AddReport(sentence);
}

void Presenter::ShowVerdict(const std::string& verdict) { Announce(window_, verdict); }

}  // namespace vantrel::app
