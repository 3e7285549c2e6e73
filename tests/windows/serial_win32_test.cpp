// The Win32 backend's own behaviour: device paths, failed opens, handles it never handed out, and the
// settings it gives a driver that refuses some, against a scripted driver. Opening a real port is tested
// end to end (tests/windows/e2e.sh), with a simulated logger behind a COM port.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/ansi_text_win32.h"
#include "link/serial_win32.h"
#include "link/serial_win32_system.h"

namespace vantrel::link {
namespace {

// The name is the port's as typed, whatever characters it holds: ports above COM9, names beyond the ANSI
// code page (UTF-8, the program's names), and a name from an 8-bit command line.
TEST(Win32Serial, DevicePathIsThePortsNameAsGiven) {
    struct Case {
        std::string name;
        std::wstring path;
    };
    const Case cases[] = {
        {"COM3", L"\\\\.\\COM3"},
        {"COM12", L"\\\\.\\COM12"},
        {"COM\xE2\x82\xAC"
         "5",
         L"\\\\.\\COM\u20AC"
         L"5"},
        {"COM5\xD1\x88", L"\\\\.\\COM5\u0448"},
        {"COM\xE9"
         "5",
         L"\\\\.\\" + WidenAnsi("COM\xE9"
                                "5")},
    };
    for (const Case& c : cases) EXPECT_EQ(Win32SerialBackend::DevicePath(c.name), c.path) << c.name;
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
        // The reason names the port as given, not a code page's nearest guess.
        {"COM\xE2\x82\xAC"
         "239",
         OpenFailureKind::NotFound,
         "\\\\.\\COM\xE2\x82\xAC"
         "239: "},
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

// A driver that opens every path and answers SetCommState from a script, one answer per call (0 for
// success, otherwise the error it leaves); every other call succeeds.
class ScriptedDriver final : public Win32SerialSystem {
public:
    explicit ScriptedDriver(std::vector<DWORD> setCommStateAnswers) : answers_(std::move(setCommStateAnswers)) {}

    HANDLE CreateFileW(const wchar_t*) override { return kPort; }
    BOOL SetCommState(HANDLE, DCB* dcb) override {
        settings.push_back(*dcb);
        const std::size_t call = settings.size() - 1;
        lastError_ = call < answers_.size() ? answers_[call] : ERROR_GEN_FAILURE;
        return lastError_ == 0;
    }
    BOOL SetupComm(HANDLE, DWORD, DWORD) override { return Succeed(); }
    BOOL SetCommTimeouts(HANDLE, COMMTIMEOUTS*) override { return Succeed(); }
    BOOL EscapeCommFunction(HANDLE, DWORD) override { return Succeed(); }
    BOOL PurgeComm(HANDLE handle, DWORD flags) override {
        EXPECT_EQ(handle, kPort);
        purges.push_back(flags);
        return Succeed();
    }
    BOOL CloseHandle(HANDLE handle) override {
        EXPECT_EQ(handle, kPort);
        ++closed;
        return Succeed();
    }
    DWORD GetLastError() override { return lastError_; }

    inline static const HANDLE kPort = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x4711));
    std::vector<DCB> settings;  // as each SetCommState call got them
    std::vector<DWORD> purges;  // the flags of each PurgeComm call
    int closed = 0;

private:
    BOOL Succeed() {
        lastError_ = 0;
        return TRUE;
    }
    std::vector<DWORD> answers_;
    DWORD lastError_ = 0;
};

// XonChar equal to XoffChar is refused by some drivers as an invalid parameter: exactly that refusal is
// answered with one more try with the usual pair, everything else as before; any other refusal, or a
// second one, ends the open with the port closed.
TEST(Win32Serial, DriverRefusingEqualFlowCharactersGetsTheUsualPairOnce) {
    struct Case {
        const char* name;
        std::vector<DWORD> answers;
        bool opens;
        std::size_t calls;
        DWORD reportedError;
    };
    const Case cases[] = {
        {"accepted at once", {0}, true, 1, 0},
        {"invalid parameter, then accepted", {ERROR_INVALID_PARAMETER, 0}, true, 2, 0},
        {"invalid parameter twice",
         {ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
         false,
         2,
         ERROR_INVALID_PARAMETER},
        {"invalid parameter, then another refusal",
         {ERROR_INVALID_PARAMETER, ERROR_GEN_FAILURE},
         false,
         2,
         ERROR_GEN_FAILURE},
        {"another refusal is not retried", {ERROR_GEN_FAILURE, 0}, false, 1, ERROR_GEN_FAILURE},
    };
    for (const Case& c : cases) {
        ScriptedDriver driver(c.answers);
        Win32SerialBackend backend(driver);
        const PortHandle port = backend.Open("COM5", 9600);
        EXPECT_EQ(port != kInvalidPortHandle, c.opens) << c.name;
        ASSERT_EQ(driver.settings.size(), c.calls) << c.name;
        EXPECT_EQ(driver.settings[0].XonChar, 0x20) << c.name;
        EXPECT_EQ(driver.settings[0].XoffChar, 0x20) << c.name;
        if (c.calls == 2) {
            DCB expected = driver.settings[0];
            expected.XonChar = 0x11;
            expected.XoffChar = 0x13;
            EXPECT_EQ(std::memcmp(&driver.settings[1], &expected, sizeof(DCB)), 0)
                << c.name << ": other fields changed";
            EXPECT_EQ(driver.settings[1].fOutX, 0u) << c.name;
            EXPECT_EQ(driver.settings[1].fInX, 0u) << c.name;
        }
        if (c.opens) {
            EXPECT_EQ(driver.closed, 0) << c.name;
            EXPECT_TRUE(backend.CloseHandle(port)) << c.name;
            EXPECT_EQ(driver.closed, 1) << c.name;
        } else {
            EXPECT_EQ(driver.closed, 1) << c.name;
            const OpenFailure failure = backend.LastOpenFailure();
            EXPECT_EQ(failure.kind, OpenFailureKind::SettingsRefused) << c.name;
            EXPECT_EQ(failure.systemCode, static_cast<int>(c.reportedError)) << c.name;
            EXPECT_NE(failure.detail.find("SetCommState"), std::string::npos) << failure.detail;
        }
    }
}

// A purge empties the input queue only: the output buffer of the driver may still hold what a finished
// WriteFile handed over, and that is sent.
TEST(Win32Serial, PurgeNeverClearsTheOutputBuffer) {
    struct Case {
        const char* name;
        std::uint32_t asked;
        std::vector<DWORD> passed;
    };
    const Case cases[] = {
        {"both queues", kPurgeTxClear | kPurgeRxClear, {PURGE_RXCLEAR}},
        {"the input queue", kPurgeRxClear, {PURGE_RXCLEAR}},
        {"the output queue", kPurgeTxClear, {}},
    };
    for (const Case& c : cases) {
        ScriptedDriver driver({0});
        Win32SerialBackend backend(driver);
        const PortHandle port = backend.Open("COM5", 9600);
        ASSERT_NE(port, kInvalidPortHandle) << c.name;
        EXPECT_TRUE(backend.PurgeComm(port, c.asked)) << c.name;
        EXPECT_EQ(driver.purges, c.passed) << c.name;
        backend.CloseHandle(port);
    }
}

}  // namespace
}  // namespace vantrel::link
