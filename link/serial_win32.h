// The Win32 backend: the communications calls of the system's serial driver, synchronous and
// non-overlapped. Its handles are small numbers standing for HANDLEs, which are pointer-sized and do
// not fit the 32-bit port handle.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial.h"

namespace vantrel::link {

class Win32SerialSystem;

class Win32SerialBackend final : public SerialBackend {
public:
    Win32SerialBackend();
    // Opens, configures and closes ports through system (a test's scripted driver).
    explicit Win32SerialBackend(Win32SerialSystem& system) : system_(system) {}

    PortHandle Open(const std::string& portName, std::int32_t baudRate) override;
    bool ClearCommError(PortHandle port) override;
    bool PurgeComm(PortHandle port, std::uint32_t flags) override;
    bool WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override;
    bool ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override;
    bool CloseHandle(PortHandle port) override;
    OpenFailure LastOpenFailure() const override;

    // "\\.\" + the name (link::WidenName), so that COM10 and above open as well as COM1 to COM9.
    static std::wstring DevicePath(const std::string& portName);

private:
    using SystemHandle = void*;

    PortHandle Fail(OpenFailureKind kind, unsigned long error, const std::string& what, SystemHandle handle);
    PortHandle Keep(SystemHandle handle);
    SystemHandle Lookup(PortHandle port) const;

    Win32SerialSystem& system_;
    mutable std::mutex mutex_;
    std::vector<SystemHandle> handles_;  // port handle n is slot n - 1; a free slot holds nullptr
    OpenFailure lastOpenFailure_;
};

}  // namespace vantrel::link
