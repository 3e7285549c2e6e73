// The serial layer: exactly the operations the two framings need, behind one small interface so that the
// framings run unchanged on the operating system's port, on a scripted test double or on the simulator.
//
// Error contract: no operation throws. Open reports every failure as kInvalidPortHandle and keeps the
// reason for LastOpenFailure(); the other operations return false when the call itself failed. A short
// write or a short read is not a failure of the call: it shows in the byte counts.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::link {

using PortHandle = std::uint32_t;
inline constexpr PortHandle kInvalidPortHandle = 0xFFFFFFFFu;

inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

enum class OpenFailureKind {
    None,
    NotFound,          // no such device
    PermissionDenied,  // the user may not open the serial device
    Busy,              // another program holds it
    SettingsRefused,   // the driver refused the line settings, queues, time-outs or DTR
    Other,
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    int systemCode = 0;  // errno, or GetLastError() on Windows
    std::string detail;  // the system's own words, plus what we found out (who holds the port, what to do)
};

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Opens the port exclusively with the fixed line settings (8N1, no flow control, RTS off, DTR raised)
    // and the time-outs of link_times.h.
    virtual PortHandle Open(const std::string& portName, std::int32_t baudRate) = 0;
    virtual bool ClearCommError(PortHandle port) = 0;
    virtual bool PurgeComm(PortHandle port, std::uint32_t flags) = 0;
    // Writes synchronously within the write time-out; written tells how many bytes left.
    virtual bool WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) = 0;
    // Returns early only once all count bytes arrived, otherwise when the total read time-out expires.
    virtual bool ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) = 0;
    virtual bool CloseHandle(PortHandle port) = 0;
    // Why the last Open of this backend failed, as GetLastError keeps it on Windows.
    virtual OpenFailure LastOpenFailure() const = 0;
};

// The operating system's backend (termios or Win32, chosen by the build).
SerialBackend& SystemSerialBackend();

// The backend that serves the framings: the system's unless a test or the simulator installed another.
SerialBackend& CurrentSerialBackend();

class ScopedSerialBackend {
public:
    explicit ScopedSerialBackend(SerialBackend& backend);
    ~ScopedSerialBackend();
    ScopedSerialBackend(const ScopedSerialBackend&) = delete;
    ScopedSerialBackend& operator=(const ScopedSerialBackend&) = delete;

private:
    SerialBackend* previous_;
};

// The operations as the framings call them, on the current backend.
PortHandle OpenCommPort(const std::string& portName, std::int32_t baudRate);
bool ClearCommError(PortHandle port);
bool PurgeComm(PortHandle port, std::uint32_t flags);
bool WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written);
bool ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read);
bool CloseHandle(PortHandle port);
OpenFailure LastOpenFailure();

// One line for an operator: why the port would not open, with advice where there is some.
std::string DescribeOpenFailure(const OpenFailure& failure);

}  // namespace vantrel::link
