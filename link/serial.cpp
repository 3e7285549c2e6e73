#include "link/serial.h"

#include <atomic>

namespace vantrel::link {

namespace {
std::atomic<SerialBackend*> currentBackend{nullptr};
}

SerialBackend& CurrentSerialBackend() {
    SerialBackend* backend = currentBackend.load(std::memory_order_acquire);
    return backend != nullptr ? *backend : SystemSerialBackend();
}

ScopedSerialBackend::ScopedSerialBackend(SerialBackend& backend)
    : previous_(currentBackend.exchange(&backend, std::memory_order_acq_rel)) {}

ScopedSerialBackend::~ScopedSerialBackend() { currentBackend.store(previous_, std::memory_order_release); }

PortHandle OpenCommPort(const std::string& portName, std::int32_t baudRate) {
    return CurrentSerialBackend().Open(portName, baudRate);
}
bool ClearCommError(PortHandle port) { return CurrentSerialBackend().ClearCommError(port); }
bool PurgeComm(PortHandle port, std::uint32_t flags) { return CurrentSerialBackend().PurgeComm(port, flags); }
bool WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) {
    return CurrentSerialBackend().WriteFile(port, data, count, written);
}
bool ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    return CurrentSerialBackend().ReadFile(port, buffer, count, read);
}
bool CloseHandle(PortHandle port) { return CurrentSerialBackend().CloseHandle(port); }
OpenFailure LastOpenFailure() { return CurrentSerialBackend().LastOpenFailure(); }

std::string DescribeOpenFailure(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailureKind::None: return {};
        case OpenFailureKind::NotFound: return "no such device: " + failure.detail;
        case OpenFailureKind::PermissionDenied: return "permission denied: " + failure.detail;
        case OpenFailureKind::Busy: return "the port is busy: " + failure.detail;
        case OpenFailureKind::SettingsRefused: return "the driver refused the port settings: " + failure.detail;
        case OpenFailureKind::Other: break;
    }
    return "cannot open the port: " + failure.detail;
}

}  // namespace vantrel::link
