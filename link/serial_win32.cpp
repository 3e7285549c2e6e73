#include "link/serial_win32.h"

#include "link/ansi_text_win32.h"
#include "link/link_times.h"
#include "link/serial_win32_system.h"

namespace vantrel::link {

namespace {

constexpr DWORD kSpecialCharacter = 0x20;
// The usual flow-control characters, for drivers that refuse XonChar equal to XoffChar. Flow control is
// off, so neither is ever sent or acted on.
constexpr char kXonCharacter = 0x11;
constexpr char kXoffCharacter = 0x13;

// The system's own words for an error code, in UTF-8 like the name beside them, without the closing line
// break.
std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? NarrowToUtf8(std::wstring(text, length)) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    if (message.empty()) message = "error " + std::to_string(error);
    return message + " (" + std::to_string(error) + ")";
}

// Every field set explicitly, nothing taken over from the driver's current state: 8N1, binary, no flow
// control of any kind, DTR and RTS left to the caller (DTR is raised after the settings).
DCB LineSettings(std::int32_t baudRate) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.fDummy2 = 0;
    dcb.wReserved = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = kSpecialCharacter;
    dcb.XoffChar = kSpecialCharacter;
    dcb.ErrorChar = kSpecialCharacter;
    dcb.EofChar = kSpecialCharacter;
    dcb.EvtChar = kSpecialCharacter;
    dcb.wReserved1 = 0;
    return dcb;
}

COMMTIMEOUTS Timeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(kReadTotalTimeoutMultiplier.count());
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(kReadTotalTimeoutConstant.count());
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(kWriteTotalTimeoutMultiplier.count());
    timeouts.WriteTotalTimeoutConstant = 0;
    return timeouts;
}

OpenFailureKind KindOfCreateError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED: return OpenFailureKind::NotFound;
        // The serial driver answers a second opener with access denied, so that is how a port held by
        // another program shows; the sharing violation comes from drivers that go through the share check.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY: return OpenFailureKind::Busy;
        default: return OpenFailureKind::Other;
    }
}

}  // namespace

HANDLE Win32SerialSystem::CreateFileW(const wchar_t* path) {
    return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
BOOL Win32SerialSystem::SetCommState(HANDLE handle, DCB* dcb) { return ::SetCommState(handle, dcb); }
BOOL Win32SerialSystem::SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(handle, inQueue, outQueue);
}
BOOL Win32SerialSystem::SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(handle, timeouts);
}
BOOL Win32SerialSystem::EscapeCommFunction(HANDLE handle, DWORD function) {
    return ::EscapeCommFunction(handle, function);
}
BOOL Win32SerialSystem::PurgeComm(HANDLE handle, DWORD flags) { return ::PurgeComm(handle, flags); }
BOOL Win32SerialSystem::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
DWORD Win32SerialSystem::GetLastError() { return ::GetLastError(); }

Win32SerialSystem& RealWin32SerialSystem() {
    static Win32SerialSystem system;
    return system;
}

Win32SerialBackend::Win32SerialBackend() : system_(RealWin32SerialSystem()) {}

std::wstring Win32SerialBackend::DevicePath(const std::string& portName) { return L"\\\\.\\" + WidenName(portName); }

PortHandle Win32SerialBackend::Fail(OpenFailureKind kind, unsigned long error, const std::string& what,
                                    SystemHandle handle) {
    if (handle != nullptr) system_.CloseHandle(handle);
    std::lock_guard lock(mutex_);
    lastOpenFailure_ = {kind, static_cast<int>(error), what};
    return kInvalidPortHandle;
}

PortHandle Win32SerialBackend::Keep(SystemHandle handle) {
    std::lock_guard lock(mutex_);
    lastOpenFailure_ = {};
    for (std::size_t slot = 0; slot < handles_.size(); ++slot) {
        if (handles_[slot] == nullptr) {
            handles_[slot] = handle;
            return static_cast<PortHandle>(slot + 1);
        }
    }
    handles_.push_back(handle);
    return static_cast<PortHandle>(handles_.size());
}

Win32SerialBackend::SystemHandle Win32SerialBackend::Lookup(PortHandle port) const {
    std::lock_guard lock(mutex_);
    if (port == 0 || port > handles_.size()) return nullptr;
    return handles_[port - 1];
}

PortHandle Win32SerialBackend::Open(const std::string& portName, std::int32_t baudRate) {
    if (portName.empty()) return Fail(OpenFailureKind::NotFound, ERROR_FILE_NOT_FOUND, "no port name given", nullptr);
    const std::wstring wide = DevicePath(portName);
    // The name as the operator gave it, in the program's own bytes, for the failure text.
    const std::string path = NarrowToUtf8(wide);

    HANDLE handle = system_.CreateFileW(wide.c_str());
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = system_.GetLastError();
        std::string what = path + ": " + SystemMessage(error);
        if (error == ERROR_ACCESS_DENIED) what += ", probably in use by another program";
        return Fail(KindOfCreateError(error), error, what, nullptr);
    }
    // From here on every failure closes the handle: no partly configured port reaches the caller.
    const auto refused = [&](const char* step, DWORD error) {
        return Fail(OpenFailureKind::SettingsRefused, error, path + ": " + step + ": " + SystemMessage(error), handle);
    };

    // All five special characters are spaces, so XonChar equals XoffChar, which some drivers refuse as an
    // invalid parameter; those get the usual pair instead, once.
    DCB dcb = LineSettings(baudRate);
    if (!system_.SetCommState(handle, &dcb)) {
        const DWORD error = system_.GetLastError();
        if (error != ERROR_INVALID_PARAMETER) return refused("SetCommState", error);
        dcb = LineSettings(baudRate);
        dcb.XonChar = kXonCharacter;
        dcb.XoffChar = kXoffCharacter;
        if (!system_.SetCommState(handle, &dcb)) return refused("SetCommState", system_.GetLastError());
    }
    if (!system_.SetupComm(handle, kDriverQueueSize, kDriverQueueSize)) {
        return refused("SetupComm", system_.GetLastError());
    }
    COMMTIMEOUTS timeouts = Timeouts();
    if (!system_.SetCommTimeouts(handle, &timeouts)) return refused("SetCommTimeouts", system_.GetLastError());
    // A device without modem-control lines (a pseudo-terminal behind Wine, some virtual ports) has no DTR
    // to raise and says so with ERROR_NOT_SUPPORTED; that is no reason to refuse the port.
    if (!system_.EscapeCommFunction(handle, SETDTR)) {
        const DWORD error = system_.GetLastError();
        if (error != ERROR_NOT_SUPPORTED) return refused("EscapeCommFunction(SETDTR)", error);
    }
    return Keep(handle);
}

bool Win32SerialBackend::ClearCommError(PortHandle port) {
    HANDLE handle = Lookup(port);
    if (handle == nullptr) return false;
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(handle, &errors, &status) != 0;
}

bool Win32SerialBackend::PurgeComm(PortHandle port, std::uint32_t flags) {
    HANDLE handle = Lookup(port);
    if (handle == nullptr) return false;
    // Only the input queue is emptied, as on POSIX systems. A WriteFile here has ended once the driver has
    // the bytes, and a converter's driver may still hold them in its output buffer: clearing that would take
    // back a command just written (the switch into the bootloader, followed 1 ms later by the next
    // transfer's purge), which then never reaches the logger.
    if ((flags & kPurgeRxClear) == 0) return true;
    return system_.PurgeComm(handle, PURGE_RXCLEAR) != 0;
}

bool Win32SerialBackend::WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count,
                                   std::uint32_t& written) {
    written = 0;
    HANDLE handle = Lookup(port);
    if (handle == nullptr) return false;
    DWORD done = 0;
    const bool ok = ::WriteFile(handle, data, count, &done, nullptr) != 0;
    written = done;
    return ok;
}

bool Win32SerialBackend::ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    read = 0;
    HANDLE handle = Lookup(port);
    if (handle == nullptr) return false;
    DWORD done = 0;
    const bool ok = ::ReadFile(handle, buffer, count, &done, nullptr) != 0;
    read = done;
    return ok;
}

bool Win32SerialBackend::CloseHandle(PortHandle port) {
    HANDLE handle = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (port == 0 || port > handles_.size() || handles_[port - 1] == nullptr) return false;
        handle = handles_[port - 1];
        handles_[port - 1] = nullptr;
    }
    return system_.CloseHandle(handle) != 0;
}

OpenFailure Win32SerialBackend::LastOpenFailure() const {
    std::lock_guard lock(mutex_);
    return lastOpenFailure_;
}

SerialBackend& SystemSerialBackend() {
    static Win32SerialBackend backend;
    return backend;
}

}  // namespace vantrel::link
