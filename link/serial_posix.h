// The termios backend. Ports are opened non-blocking and every read and write is bounded by poll against
// a deadline on the given clock, because VMIN/VTIME cannot express the total time-out the framings need.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial.h"

namespace vantrel::link {

class PosixSerialBackend final : public SerialBackend {
public:
    explicit PosixSerialBackend(Clock& clock = SystemClock()) : clock_(clock) {}

    PortHandle Open(const std::string& portName, std::int32_t baudRate) override;
    bool ClearCommError(PortHandle port) override;
    bool PurgeComm(PortHandle port, std::uint32_t flags) override;
    bool WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override;
    bool ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override;
    bool CloseHandle(PortHandle port) override;
    OpenFailure LastOpenFailure() const override;

    // A bare name such as ttyUSB0 lives under /dev/; anything with a slash is a path already.
    static std::string DevicePath(const std::string& portName);

    // Why opening path failed with errno error: the one decoder of the open call's errors.
    static OpenFailure OpenFailureOf(int error, const std::string& path);

    // The udev rule that gives logger ports to the user at the seat, as the package installs it, and the
    // folders udev reads rules from, those that take precedence first.
    static constexpr const char* kUdevRuleName = VANTREL_UDEV_RULE;
    static constexpr const char* kInstalledUdevRule = "/usr/lib/udev/rules.d/" VANTREL_UDEV_RULE;
    static const std::vector<std::string>& UdevRuleFolders();

    // The rule udev uses: the first folder's file of that name, unless it is masked (linked to /dev/null
    // or empty, as an administrator switches a packaged rule off). Nothing when there is none.
    static std::optional<std::string> InstalledUdevRule(const std::vector<std::string>& folders = UdevRuleFolders());

    // The advice for a serial device the user may not open, given the rule udev uses, if any.
    static std::string PermissionAdvice(const std::optional<std::string>& rule);

private:
    PortHandle Fail(OpenFailure failure, int fd);
    PortHandle Fail(OpenFailureKind kind, int error, const std::string& what, int fd);

    Clock& clock_;
    mutable std::mutex mutex_;
    OpenFailure lastOpenFailure_;
};

}  // namespace vantrel::link
