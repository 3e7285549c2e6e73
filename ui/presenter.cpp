#include "ui/presenter.h"

#include <cstdarg>
#include <cstdio>

#include "engine/engine_times.h"
#include "engine/notify.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/cancel.h"
#include "link/failures.h"

namespace vantrel::ui {

namespace {

using engine::TCmd;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::uint16_t Code(std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }

// "Update ..." / "Check ..." name an image by its class, version, board and bootloader.
std::string ImageText(const char* verb, std::int32_t image) {
    const firmware::TBl3FileHeader h = firmware::GetFirmwareHeader(image);
    return Format("%s %s V%d.%.2d, %s, BL%d.%d", verb, firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(),
                  h.qel_verH, h.qel_verL, firmware::PrintName(h.qel_print).c_str(), h.qel_bl, h.qel_bl_ver);
}

constexpr const char* kCommunicationRestartText = "Repeat update because communication error!";
constexpr const char* kProgrammingRestartText = "Repeat because programming error!";
constexpr int kExitUnexpected = 1;

}  // namespace

void Announce(WindowOps& window, const std::string& text) {
    window.AddReport(text);
    window.SetStatusText(text);
    window.ShowInfoMessage(text);
}

std::string ReportLine(std::time_t when, const std::string& text) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return Format("%02d-%02d-%02d -> ", local.tm_hour, local.tm_min, local.tm_sec) + text;
}

std::string Presenter::FailureText(std::int32_t failure, const std::string& portText) {
    switch (failure) {
        case link::feNoPort: return Format("Aborted because serial port \"%s\" is not ready!", portText.c_str());
        case link::feIo: return "Aborted because error when reading/writing to serial port!";
        case link::feCancelled: return "Process cancelled!";
        case link::feNoUpdate: return "Aborted because no update is available for this logger!";
        case link::feLoggerError: return "Aborted because the logger is not ready!";
        case link::feBadLastLine: return "Aborted because last line is wrong !";
        case link::feConversion: return "Aborted because conversion error!";
        case link::feProgramming: return kProgrammingRestartText;
        case link::feNotVerified: return "Update was not successfull!";
        case link::feInvalidAnswer: return "Aborted because the logger transmitted an invalid answer!";
        case link::feNoMatchingImage: return "There is no update available or the logger has another update ID!";
        case link::feInfoOnly: return "Only read update info!";
        default: return "Fatal Exception has occurred!";
    }
}

bool Presenter::MayRestart() {
    if (maxRestarts_ && restarts_ >= *maxRestarts_) return false;
    ++restarts_;
    return true;
}

std::optional<int> Presenter::Handle(std::uint32_t code, std::int32_t value) {
    switch (code) {
        case engine::ncDone: {
            window_.SetProgressPosition(100);
            window_.SetIdle();
            const firmware::TBl3FileHeader h = firmware::GetFirmwareHeader(firmware::SelectedImage);
            Announce(window_, Format("Update %s V%d.%.2d succesfully completed.",
                                     firmware::LoggerClassName(h.qel_class, h.qel_print).c_str(), h.qel_verH,
                                     h.qel_verL));
            return 0;
        }
        case engine::ncProgress:
            window_.AddReport(Format("Progress %d%%", value));
            window_.SetProgressPosition(value);
            window_.SetApplicationTitle(Format("%d%%", window_.ProgressPosition()));
            return std::nullopt;
        case engine::ncFailure:
            return Failure(value);
        case engine::ncProgrammingError: {
            const std::string text = Format("Aborted because programming error at line %d !", value);
            window_.AddReport(text);
            window_.SetStatusText(text);
            return std::nullopt;
        }
        case engine::ncConversionError:
            window_.AddReport(Format("Aborted because conversion error at line  %d !", value));
            return std::nullopt;
        case engine::ncRetryComm: {
            window_.SetStatusText(kCommunicationRestartText);
            window_.AddReport(kCommunicationRestartText);
            if (!MayRestart()) {
                window_.SetIdle();
                return link::feNoAnswer;
            }
            const auto cmd = static_cast<TCmd>(value & 0xFF);
            window_.ScheduleRestart(engine::kCommunicationRestartWait,
                                    [this, cmd] { RestartAfterCommunicationError(cmd); });
            return std::nullopt;
        }
        case engine::ncClass:
            window_.AddReport(Format("Class %d [%s]", value, firmware::LoggerClassName(Code(value), firmware::kNoCode).c_str()));
            return std::nullopt;
        case engine::ncVersion:
            window_.AddReport(Format("Version %d.%d", (value >> 8) & 0xFF, value & 0xFF));
            return std::nullopt;
        case engine::ncPlatform:
            window_.AddReport(Format("Platform %d [%s]", value, firmware::PlatformName(Code(value)).c_str()));
            return std::nullopt;
        case engine::ncPrint:
            window_.AddReport(Format("Print %d [%s]", value, firmware::PrintName(Code(value)).c_str()));
            return std::nullopt;
        case engine::ncInfo:
            window_.AddReport(Format("Info %d", value));
            return std::nullopt;
        case engine::ncUpdateClass:
            window_.AddReport(Format("Update class %d [%s]", value,
                                     firmware::LoggerClassName(Code(value), firmware::kNoCode).c_str()));
            return std::nullopt;
        case engine::ncUpdateStart: {
            const std::string text = ImageText("Update", firmware::SelectedImage);
            window_.AddReport(text);
            window_.SetStatusText(text);
            return std::nullopt;
        }
        case engine::ncCheckImage:
            window_.AddReport(ImageText("Check", value));
            return std::nullopt;
        case engine::ncUpdateId:
            window_.AddReport(Format("Update Info %.4X", static_cast<unsigned>(value)));
            return std::nullopt;
        case engine::ncVectorTable:
            if (value == 0) window_.AddReport("Vector table is saved.");
            if (value == 1) window_.AddReport("Vector table is programmed.");
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<int> Presenter::Failure(std::int32_t failure) {
    window_.SetIdle();
    window_.Beep();
    const std::string text = FailureText(failure, window_.PortText());
    switch (failure) {
        case link::feConversion:
            // The failing record was reported already.
            window_.ShowInfoMessage(text);
            return failure;
        case link::feProgramming:
            window_.AddReport(text);
            window_.SetStatusText(text);
            if (!MayRestart()) return failure;
            window_.StartJob(TCmd::tCMD0);
            return std::nullopt;
        default:
            Announce(window_, text);
            break;
    }
    switch (failure) {
        case link::feNoPort: case link::feIo: case link::feCancelled: case link::feNoUpdate:
        case link::feLoggerError: case link::feBadLastLine: case link::feNotVerified: case link::feInvalidAnswer:
        case link::feNoMatchingImage: case link::feInfoOnly:
            return failure;
        default:
            return kExitUnexpected;
    }
}

void Presenter::RestartAfterCommunicationError(TCmd cmd) {
    // Read after the wait, not before it: a Cancel given while the window waited must stop the new job.
    const bool cancelled = link::CancelRequested.load(std::memory_order_relaxed);
    window_.StartJob(cmd);
    link::CancelRequested.store(cancelled, std::memory_order_relaxed);
}

}  // namespace vantrel::ui
