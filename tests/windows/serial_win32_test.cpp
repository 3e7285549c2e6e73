// The Win32 backend's own behaviour: device paths, failed opens and handles it never handed out. Opening
// a real port is tested end to end (tests/windows/e2e.sh), with a simulated logger behind a COM port.
#include <gtest/gtest.h>

#include <string>

#include "link/serial_win32.h"

namespace vantrel::link {
namespace {

TEST(Win32Serial, DevicePathServesPortsAboveCom9) {
    EXPECT_EQ(Win32SerialBackend::DevicePath("COM3"), L"\\\\.\\COM3");
    EXPECT_EQ(Win32SerialBackend::DevicePath("COM12"), L"\\\\.\\COM12");
}

TEST(Win32Serial, FailedOpensKeepTheReason) {
    struct Case {
        const char* name;
        OpenFailureKind kind;
        const char* detail;
    };
    const Case cases[] = {
        {"", OpenFailureKind::NotFound, "no port name"},
        {"COM239", OpenFailureKind::NotFound, "\\\\.\\COM239: "},
        // A device that is no serial port: the settings step fails and the handle is closed again.
        {"NUL", OpenFailureKind::SettingsRefused, "SetCommState"},
    };
    for (const Case& c : cases) {
        Win32SerialBackend backend;
        EXPECT_EQ(backend.Open(c.name, 9600), kInvalidPortHandle) << c.name;
        const OpenFailure failure = backend.LastOpenFailure();
        EXPECT_EQ(failure.kind, c.kind) << c.name << ": " << failure.detail;
        EXPECT_NE(failure.detail.find(c.detail), std::string::npos) << c.name << ": " << failure.detail;
        if (c.name[0] != '\0') {
            EXPECT_NE(failure.systemCode, 0) << c.name;
        }
    }
}

TEST(Win32Serial, HandlesNeverHandedOutFailEveryCall) {
    Win32SerialBackend backend;
    for (const PortHandle port : {kInvalidPortHandle, PortHandle{0}, PortHandle{1}, PortHandle{7}}) {
        std::uint8_t buffer[8] = {};
        std::uint32_t count = 99;
        EXPECT_FALSE(backend.ClearCommError(port)) << port;
        EXPECT_FALSE(backend.PurgeComm(port, kPurgeTxClear | kPurgeRxClear)) << port;
        EXPECT_FALSE(backend.WriteFile(port, buffer, sizeof buffer, count)) << port;
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_FALSE(backend.ReadFile(port, buffer, sizeof buffer, count)) << port;
        EXPECT_EQ(count, 0u);
        EXPECT_FALSE(backend.CloseHandle(port)) << port;
    }
}

}  // namespace
}  // namespace vantrel::link
