// The main window's decisions, without a toolkit: a recording view stands in for the widgets, workers are
// recorded instead of run, and the operator's answers, file picks and the window's activity are the test's.
// Each table reads: mode and keys, the button or event, the answer -> what is enabled, asked, started and
// written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/job_rules.h"
#include "app/options.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/process_state.h"
#include "firmware/catalogue.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/failures.h"
#include "ui/main_window_controller.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kSaveQuestion = "Do you save your measurements ?\r\nDo you really continue without saving ?";
const std::string kClearQuestion = "This update clears all measurements!\r\nDo you really continue ?";
const std::string kCloseQuestion = "The update is not finished!\r\nDo you really close the program ?";
const fs::path kProgram = "/opt/vantrel/bin/vantrel-update";

struct WorkerRequest {
    std::int32_t window;
    engine::TCmd cmd;
    std::string port;
    bool cancelRequested;  // the cancel request at the moment the worker was created
    bool readInfoOnly;
    std::shared_ptr<const firmware::FileImage> file;
};
std::vector<WorkerRequest> workers;
// What the last worker would tell: the test plays its part.
std::shared_ptr<engine::JobOutcome> lastOutcome;
engine::TCommThread* RecordingWorker(const engine::JobRequest& request, engine::TCmd cmd,
                                     std::shared_ptr<engine::JobOutcome> outcome) {
    workers.push_back(
        {request.FhWindow, cmd, request.FsPort, link::CancelRequested.load(), request.ReadInfoOnly, request.FileImage});
    lastOutcome = std::move(outcome);
    return nullptr;
}

const char* Name(Control control) {
    switch (control) {
        case Control::PortBox: return "port";
        case Control::Update: return "update";
        case Control::File: return "file";
        case Control::Cancel: return "cancel";
        case Control::Close: return "close";
        case Control::ReadInfoOnly: return "read-info-only";
        case Control::MenuFirmware: return "overview";
        case Control::MenuFileVersion: return "file-version";
    }
    return "?";
}

// The widgets as the controller left them, and a log of what the operator was shown or asked, in order.
class FakeView final : public MainWindowView {
public:
    void SetEnabled(Control control, bool on) override { enabled[control] = on; }
    void SetVisible(Control control, bool on) override { visible[control] = on; }
    void SetFocus(Control control) override { focus = control; }
    void SetText(Text which, const std::string& text) override { texts[which] = text; }
    void SetChecked(Control control, bool checked) override {
        if (control == Control::ReadInfoOnly) readInfoOnly = checked;
    }
    bool Checked(Control control) const override { return control == Control::ReadInfoOnly && readInfoOnly; }
    void LayOutUpdateButtons(bool fileButton) override { fileButtonLayout = fileButton; }
    void ReplaceDialogTexts(const DialogTexts& texts) override { dialogTexts = texts; }
    std::string PortText() const override { return portText; }
    void SetPortItems(const std::vector<std::string>& names, bool selectFirst) override {
        portItems = names;
        if (selectFirst) portText = names.empty() ? "" : names.front();
    }
    void SetPortItemDescriptions(const std::vector<std::string>& descriptions) override {
        portDescriptions = descriptions;
    }
    void DropDownPortList() override { log.push_back("drop down ports"); }
    void SetProgress(int position) override { progress = position; }
    int Progress() const override { return progress; }
    void SetTaskbarProgress(TaskbarProgress state, int position) override { taskbar = {state, position}; }
    void SetHourglass(bool on) override { hourglass = on; }
    void Beep() override { log.push_back("beep"); }
    bool Active() const override { return active; }
    void RequestAttention() override { log.push_back("attention"); }
    void AddReport(const std::string& text) override { report.push_back(text); }
    void ClearReport() override { report.clear(); }
    void SetReportVisible(bool on) override { reportVisible = on; }
    void ShowMessage(const std::string& text) override { log.push_back("message: " + text); }
    void ShowOverview(const std::vector<app::OverviewRow>& rows) override {
        log.push_back("overview");
        overviews.push_back(rows);
    }
    bool AskYesNo(const std::string& question) override {
        log.push_back("ask: " + question);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<fs::path> ChooseFile(const fs::path& initialPath) override {
        pickedFrom.push_back(initialPath);
        return file;
    }
    fs::path ProgramFile() const override { return kProgram; }
    void StartTimer(Timer timer, std::chrono::milliseconds delay, std::function<void()> expired) override {
        timers[timer] = {delay, std::move(expired)};
    }
    void StopTimer(Timer timer) override { timers.erase(timer); }
    std::int32_t NotificationHandle() const override { return 4711; }

    // Lets a timer expire, as the toolkit would after its delay.
    void Expire(Timer timer) {
        ASSERT_TRUE(timers.count(timer));
        auto expired = std::move(timers[timer].second);
        timers.erase(timer);
        expired();
    }

    // The controls the two job states switch, as the operator sees them.
    std::string Controls() const {
        std::string text;
        auto flag = [&](const char* name, bool on) { text += std::string(name) + (on ? "+ " : "- "); };
        flag("update", enabled.at(Control::Update));
        flag("close", visible.at(Control::Close));
        flag("cancel", visible.at(Control::Cancel));
        flag("port", enabled.at(Control::PortBox));
        flag("file", enabled.at(Control::File) && enabled.at(Control::MenuFileVersion));
        flag("overview", !enabled.count(Control::MenuFirmware) || enabled.at(Control::MenuFirmware));
        flag("info", enabled.at(Control::ReadInfoOnly));
        flag("hourglass", hourglass);
        return text + "focus=" + (focus ? Name(*focus) : "none");
    }

    std::map<Control, bool> enabled, visible;
    std::optional<Control> focus;
    std::map<Text, std::string> texts;
    bool readInfoOnly = true;  // the controller must untick it
    std::optional<bool> fileButtonLayout;
    DialogTexts dialogTexts;
    std::string portText;
    std::vector<std::string> portItems;
    std::vector<std::string> portDescriptions;
    int progress = 0;
    std::pair<TaskbarProgress, int> taskbar{TaskbarProgress::None, 0};
    bool hourglass = false;
    bool active = true;
    std::vector<std::string> report;
    std::optional<bool> reportVisible;
    std::vector<std::vector<app::OverviewRow>> overviews;
    std::deque<bool> answers;  // one per question; Yes once they run out
    std::optional<fs::path> file;
    std::vector<fs::path> pickedFrom;
    std::map<Timer, std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    std::vector<std::string> log;
};

class FakePorts final : public app::PortSource {
public:
    std::vector<app::PortEntry> Enumerate() override { return entries; }
    std::vector<app::PortEntry> entries;
};

app::PortEntry UsbPort(const std::string& name) { return {name, "/sys/devices/usb1/" + name, "usb-serial"}; }

const std::string kIdle = "update+ close+ cancel- port+ file+ overview+ info+ hourglass- focus=update";
// The overview stays open to the operator: a job reads only its own request.
const std::string kBusy = "update- close- cancel+ port- file- overview+ info- hourglass+ focus=cancel";

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() {
        engine::ResetProcessState();
        workers.clear();
        lastOutcome.reset();
        savedWorkerClass_ = engine::CommThreadClass;
        engine::CommThreadClass = &RecordingWorker;
        dir_ = fs::temp_directory_path() / ("controller-test-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }
    ~ControllerTest() override {
        controller_.reset();
        engine::ResetProcessState();
        engine::CommThreadClass = savedWorkerClass_;
        engine::ReadInfoOnlySupported = readInfoOnlySupported_;
        app::SetCommandLine({});
        if (savedConfig_) {
            ::setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        fs::remove_all(dir_);
    }

    // Starts the window's controller with the keys after the program path; internal writes the per-user
    // setting.
    MainWindowController& Start(std::vector<std::string> keys = {}, bool internal = false) {
        controller_.reset();
        view = FakeView{};
        history.clear();
        engine::ResetOptionFlags();
        fs::remove_all(dir_ / "config" / "Velmora");
        if (internal) {
            fs::create_directories(dir_ / "config" / "Velmora");
            std::ofstream(dir_ / "config" / "Velmora" / "Qel.conf") << "[General]\nintern=7204\n";
        }
        keys.insert(keys.begin(), kProgram.string());
        app::SetCommandLine(keys);
        controller_ = std::make_unique<MainWindowController>(
            view, ports,
            [this](const std::string& line) {
                history.push_back(line);
                view.log.push_back("history");
            },
            clock);
        controller_->Start();
        return *controller_;
    }
    MainWindowController& Controller() { return *controller_; }

    void Notify(std::uint32_t code, std::int32_t value, std::int32_t position = 0, std::int32_t total = 0) {
        controller_->Notify({code, value, position, total});
    }

    fs::path ImageFile(const std::string& name, int cls) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            << "bootloader=3\r\nbootloader version=1\r\nclass=" << cls
            << "\r\nversionH=2\r\nversionL=7\r\nplatform=15\r\nprint=19\r\ndate=01.02.2021 10:11:12\r\n"
               ":400200005654464966210106000F00133A413E40A63C924208FD5E2DB0125636001332C23F40CE8\r\n"
               ":00000001FF\r\n";
        return path;
    }
    fs::path TextFile(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    FakeView view;
    FakePorts ports;
    link::VirtualClock clock;
    std::vector<std::string> history;

private:
    fs::path dir_;
    std::optional<std::string> savedConfig_;
    const bool readInfoOnlySupported_ = engine::ReadInfoOnlySupported;
    engine::TCommThreadClass savedWorkerClass_ = nullptr;
    std::unique_ptr<MainWindowController> controller_;
};

TEST_F(ControllerTest, StartUpFollowsModeKeysAndPorts) {
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        bool internal;
        std::vector<app::PortEntry> ports;
        bool readInfoOnlyShown;
        const char* status;
        bool fileButton;
        const char* portText;
        std::vector<std::string> items;
        bool deviceReadsInfoOnly = true;  // what the device worker's unit says it supports
    };
    const app::PortEntry builtIn{"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""};
    const Case cases[] = {
        {"operator",
         {},
         false,
         {UsbPort("/dev/ttyUSB3"), builtIn, UsbPort("/dev/ttyACM0")},
         false,
         "",
         false,
         "/dev/ttyUSB3",
         {"/dev/ttyUSB3", "/dev/ttyACM0"}},
        {"operator ignores internal keys", {"f:+", "mf:+"}, false, {builtIn}, false, "F", false, "", {}},
        {"internal", {}, true, {}, true, "", false, "", {}},
        {"internal, device without read-info-only", {}, true, {}, false, "", false, "", {}, false},
        {"internal with files",
         {"F:+", "mf:+"},
         true,
         {UsbPort("/dev/ttyUSB0")},
         true,
         "F",
         true,
         "/dev/ttyUSB0",
         {"/dev/ttyUSB0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ports.entries = c.ports;
        engine::ReadInfoOnlySupported = c.deviceReadsInfoOnly;
        Start(c.keys, c.internal);

        EXPECT_EQ(view.texts[Text::Caption], "Vantrel Firmware Update");
        EXPECT_EQ(view.texts[Text::InfoMenu], "Info v2021-12-01");
        EXPECT_EQ(view.dialogTexts.caption, "Confirm");
        EXPECT_EQ(view.dialogTexts.yes, "Yes");
        EXPECT_EQ(view.dialogTexts.no, "No");
        EXPECT_EQ(view.visible[Control::ReadInfoOnly], c.readInfoOnlyShown);
        EXPECT_FALSE(view.readInfoOnly);
        EXPECT_EQ(view.texts[Text::Status], c.status);
        EXPECT_EQ(Controller().StatusText(), c.status);
        EXPECT_EQ(view.visible[Control::File], c.fileButton);
        EXPECT_EQ(view.visible[Control::MenuFileVersion], c.fileButton);
        EXPECT_EQ(view.fileButtonLayout, c.fileButton);
        EXPECT_EQ(view.portText, c.portText);
        EXPECT_EQ(view.portItems, c.items);
        EXPECT_EQ(view.Controls(), kIdle);
        EXPECT_TRUE(view.report.empty());
        EXPECT_TRUE(view.log.empty());
        // The report's visibility waits for the first idle moment.
        EXPECT_FALSE(view.reportVisible);
        EXPECT_EQ(Controller().InitialDirectory(), kProgram);
    }
}

TEST_F(ControllerTest, UpdateButtonsShareTheWidthOfClose) {
    struct Case {
        bool file;
        int updateLeft, closeWidth, gap;
        UpdateButtonsGeometry expected;
    };
    const Case cases[] = {
        {false, 50, 139, 8, {139, 0, 0}},
        {true, 50, 139, 8, {69, 127, 69}},  // odd width: each half truncated
        {true, 75, 208, 12, {104, 191, 104}},
    };
    for (const Case& c : cases) {
        const UpdateButtonsGeometry g = ArrangeUpdateButtons(c.file, c.updateLeft, c.closeWidth, c.gap);
        EXPECT_EQ(g.updateWidth, c.expected.updateWidth);
        EXPECT_EQ(g.fileLeft, c.expected.fileLeft);
        EXPECT_EQ(g.fileWidth, c.expected.fileWidth);
    }
}

TEST_F(ControllerTest, UpdateAsksWhatTheFlagsCallFor) {
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        bool internal;
        std::optional<std::string> question;
        bool answer;
    };
    const Case cases[] = {
        {"operator, Yes", {}, false, kSaveQuestion, true},
        {"operator, No", {}, false, kSaveQuestion, false},
        {"operator, clears", {"mf:+"}, false, kClearQuestion, true},
        {"internal asks nothing", {}, true, std::nullopt, true},
        {"internal with files asks nothing", {"f:+"}, true, std::nullopt, true},
        {"internal, clears, No", {"mf:+"}, true, kClearQuestion, false},
        {"internal with files, clears", {"f:+", "mf:+"}, true, kClearQuestion, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        workers.clear();
        Start(c.keys, c.internal);
        view.answers = {c.answer};
        view.portText = "/dev/ttyUSB9";
        view.report = {"from the last job"};

        Controller().UpdateClicked();

        EXPECT_EQ(view.log, c.question ? std::vector<std::string>{"ask: " + *c.question} : std::vector<std::string>{});
        if (c.answer) {
            ASSERT_EQ(workers.size(), 1u);
            EXPECT_EQ(workers[0].port, "/dev/ttyUSB9");
            EXPECT_EQ(workers[0].file, nullptr);
            EXPECT_EQ(view.report, std::vector<std::string>{"Start at serial port \"/dev/ttyUSB9\""});
            EXPECT_EQ(view.Controls(), kBusy);
        } else {
            // No leaves everything as it was, the last job's report included.
            EXPECT_TRUE(workers.empty());
            EXPECT_EQ(view.report, std::vector<std::string>{"from the last job"});
            EXPECT_EQ(view.Controls(), kIdle);
        }
    }
}

TEST_F(ControllerTest, AJobFromStartToVerdict) {
    Start({}, true);
    view.portText = "/dev/ttyACM2";
    view.readInfoOnly = true;
    view.progress = 77;
    link::CancelRequested = true;

    Controller().UpdateClicked();

    EXPECT_EQ(view.Controls(), kBusy);
    EXPECT_TRUE(Controller().Busy());
    ASSERT_EQ(workers.size(), 1u);
    EXPECT_EQ(workers[0].window, 4711);
    EXPECT_EQ(workers[0].cmd, engine::TCmd::tCMD0);
    EXPECT_EQ(workers[0].port, "/dev/ttyACM2");
    EXPECT_FALSE(workers[0].cancelRequested);  // a Cancel of the last job does not stop this one
    EXPECT_TRUE(workers[0].readInfoOnly);
    EXPECT_EQ(view.progress, 0);
    EXPECT_EQ(view.texts[Text::Status], "Start at serial port \"/dev/ttyACM2\"");

    // The port named is the one captured at the start, whatever the box says meanwhile.
    view.portText = "/dev/ttyUSB5";
    Notify(engine::ncProgress, 42);
    EXPECT_EQ(view.progress, 42);
    EXPECT_EQ(view.texts[Text::Caption], "42%");
    EXPECT_EQ(view.taskbar, std::make_pair(TaskbarProgress::Normal, 42));
    // Cancel only asks the worker to stop; it keeps the keys.
    view.focus.reset();
    Controller().CancelClicked();
    Controller().CancelClicked();
    EXPECT_TRUE(link::CancelRequested);
    EXPECT_EQ(view.Controls(), kBusy);

    Notify(engine::ncFailure, link::feCancelled);
    EXPECT_EQ(view.Controls(), kIdle);
    EXPECT_FALSE(Controller().Busy());
    EXPECT_EQ(view.progress, 42);
    EXPECT_EQ(view.texts[Text::Caption], "Vantrel Firmware Update");
    EXPECT_EQ(view.taskbar.first, TaskbarProgress::Error);
    EXPECT_EQ(view.report, (std::vector<std::string>{"Start at serial port \"/dev/ttyACM2\"", "Progress 42%",
                                                     "Process cancelled!"}));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_NE(history[0].find(" port=/dev/ttyACM2 "), std::string::npos) << history[0];
    EXPECT_NE(history[0].find(" verdict=\"Process cancelled!\" status=20 "), std::string::npos) << history[0];
}

// The history line is written when the job ends, before the operator has read (and closed) the verdict;
// and once a job, whatever restarts it took.
TEST_F(ControllerTest, HistoryIsWrittenAtTheFinalNotification) {
    struct Step {
        std::uint32_t code;
        std::int32_t value;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::string> log;
        const char* recorded;
    };
    const Case cases[] = {
        {"verified update",
         {{engine::ncDone, 0}},
         {"history", "message: Update Vantrel Base V1.06 succesfully completed."},
         " status=0 "},
        {"failure",
         {{engine::ncFailure, link::feNoUpdate}},
         {"beep", "history", "message: Aborted because no update is available for this logger!"},
         " status=40 "},
        {"programming error, then verified",
         {{engine::ncFailure, link::feProgramming}, {engine::ncDone, 0}},
         {"beep", "history", "message: Update Vantrel Base V1.06 succesfully completed."},
         " restarts=1"},
        {"message only",
         {{engine::ncFailure, link::feConversion}},
         {"beep", "history", "message: Aborted because conversion error!"},
         " status=43 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start({}, true);
        Controller().UpdateClicked();
        lastOutcome->SelectedImage = 1;
        for (const Step& step : c.steps) Notify(step.code, step.value);
        EXPECT_EQ(view.log, c.log);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_NE(history[0].find(c.recorded), std::string::npos) << history[0];
    }
}

TEST_F(ControllerTest, CommunicationRestartWaitsOnTheTimerAndKeepsACancel) {
    for (const bool cancelWhileWaiting : {false, true}) {
        SCOPED_TRACE(cancelWhileWaiting);
        workers.clear();
        Start({}, true);
        view.portText = "/dev/ttyUSB1";
        Controller().UpdateClicked();
        Notify(engine::ncRetryComm, static_cast<std::int32_t>(engine::TCmd::tCMD0));

        ASSERT_TRUE(view.timers.count(Timer::Restart));
        EXPECT_EQ(view.timers[Timer::Restart].first, 1500ms);
        EXPECT_EQ(workers.size(), 1u);  // nothing starts before the wait is over
        EXPECT_EQ(view.Controls(), kBusy);
        EXPECT_EQ(view.texts[Text::Status], "Repeat update because communication error!");
        if (cancelWhileWaiting) Controller().CancelClicked();

        view.Expire(Timer::Restart);
        ASSERT_EQ(workers.size(), 2u);
        EXPECT_EQ(workers[1].port, "/dev/ttyUSB1");
        EXPECT_EQ(workers[1].cancelRequested, cancelWhileWaiting);
        EXPECT_EQ(view.Controls(), kBusy);
        EXPECT_TRUE(history.empty());
        EXPECT_EQ(std::count(view.report.begin(), view.report.end(), "Start at serial port \"/dev/ttyUSB1\""), 2);
    }
}

TEST_F(ControllerTest, FileStartsWithoutAQuestionFromThePickedImage) {
    struct Case {
        const char* what;
        std::optional<std::string> content;  // nothing: the file does not exist
        bool picked;
        bool starts;
    };
    const std::string image =
        "bootloader=3\r\nbootloader version=1\r\nclass=26145\r\nversionH=2\r\nversionL=7\r\nplatform=15\r\n"
        "print=19\r\ndate=01.02.2021 10:11:12\r\n:00000001FF\r\n";
    const Case cases[] = {
        {"readable", image, true, true},
        {"nothing picked", image, false, false},
        {"missing", std::nullopt, true, false},
        {"garbled", std::string("bootloader=3\r\nbootloader version=zero\r\n"), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        workers.clear();
        Start({"f:+"}, true);
        const fs::path path = c.content ? TextFile("image.txt", *c.content) : fs::path("/nonexistent/image.txt");
        view.file = c.picked ? std::optional<fs::path>(path) : std::nullopt;
        view.report = {"from the last job"};

        Controller().FileClicked();

        EXPECT_EQ(view.pickedFrom, std::vector<fs::path>{kProgram});
        EXPECT_EQ(workers.size(), c.starts ? 1u : 0u);
        EXPECT_EQ(view.Controls(), c.starts ? kBusy : kIdle);
        if (c.starts) {
            ASSERT_NE(workers[0].file, nullptr);
            EXPECT_EQ(workers[0].file->lines.size(), 1u);
            EXPECT_TRUE(view.log.empty());
        } else if (c.picked) {
            // The operator asked for that file, not for the built-in images: nothing starts, and he is told
            // which file and why.
            ASSERT_EQ(view.log.size(), 1u);
            EXPECT_EQ(view.log[0].rfind("message: The image file cannot be read: " + path.string(), 0), 0u)
                << view.log[0];
        } else {
            EXPECT_EQ(view.report, std::vector<std::string>{"from the last job"});
            EXPECT_TRUE(view.log.empty());
        }
    }
}

TEST_F(ControllerTest, FileVersionShowsTheFilesHeaderFirst) {
    Start({"f:+"}, true);
    std::vector<app::OverviewRow> builtIn;
    for (int i = firmware::FirmwareImageCount(); i >= 1; --i) {
        builtIn.push_back(app::MakeOverviewRow(firmware::GetFirmwareHeader(i)));
    }
    const fs::path readable = ImageFile("readable.txt", 26145);
    view.file = readable;
    Controller().FileVersionClicked();
    ASSERT_EQ(view.overviews.size(), 1u);
    ASSERT_EQ(view.overviews[0].size(), builtIn.size() + 1);
    EXPECT_EQ(view.overviews[0][0][1], "2.07");

    // A file that cannot be read never leaves the overview a row made of two files.
    for (const char* content : {"", "bootloader=9\r\nbootloader version=\r\n",
                                "bootloader=2\r\nbootloader version=4\r\nclass=26145\r\nversionH=9\r\nversionL=9\r\n"
                                "platform=15\r\nprint=x\r\ndate=today\r\n:00000001FF\r\n"}) {
        SCOPED_TRACE(content);
        view.file = readable;
        Controller().FileVersionClicked();
        const std::vector<app::OverviewRow> before = view.overviews.back();
        view.log.clear();
        view.file = TextFile("unreadable.txt", content);
        Controller().FileVersionClicked();
        ASSERT_EQ(view.log.size(), 1u);
        EXPECT_EQ(view.log[0].rfind("message: The image file cannot be read: ", 0), 0u) << view.log[0];
        Controller().FirmwareClicked();
        EXPECT_TRUE(view.overviews.back() == before || view.overviews.back() == builtIn);
    }

    // A file that does not exist, or none picked: nothing at all.
    for (const std::optional<fs::path>& file : {std::optional<fs::path>("/nonexistent"), std::optional<fs::path>()}) {
        view.log.clear();
        view.file = file;
        Controller().FileVersionClicked();
        EXPECT_TRUE(view.log.empty());
    }

    // The next Update looks among the built-in images again.
    view.file = readable;
    Controller().FileVersionClicked();
    Controller().UpdateClicked();
    ASSERT_FALSE(workers.empty());
    EXPECT_EQ(workers.back().file, nullptr);
}

// A job's image source, port and mode are fixed when it starts: nothing the operator does meanwhile
// reaches it, and only the overview, which reads nothing of the job's, opens while it runs.
TEST_F(ControllerTest, NothingTouchesTheImageSourceWhileBusy) {
    Start({"f:+"}, true);
    Controller().UpdateClicked();
    view.file = ImageFile("image.txt", 26145);
    view.log.clear();
    view.pickedFrom.clear();
    Controller().UpdateClicked();
    Controller().FileClicked();
    Controller().FileVersionClicked();
    EXPECT_EQ(workers.size(), 1u);
    EXPECT_TRUE(view.pickedFrom.empty());
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(workers[0].file, nullptr);
}

TEST_F(ControllerTest, TheOverviewOpensDuringAJobWithItsImage) {
    struct Case {
        const char* what;
        bool fromFile;
        std::int32_t selected;  // what the worker has chosen when the overview opens
    };
    const Case cases[] = {
        {"built-in images, none chosen yet", false, firmware::kNoImageSelected},
        {"built-in images, one chosen", false, 2},
        {"an image file, before its check", true, firmware::kNoImageSelected},
        {"an image file, chosen", true, firmware::kFileImage},
    };
    std::vector<app::OverviewRow> builtIn;
    for (int i = firmware::FirmwareImageCount(); i >= 1; --i) {
        builtIn.push_back(app::MakeOverviewRow(firmware::GetFirmwareHeader(i)));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start({"f:+"}, true);
        if (c.fromFile) {
            view.file = ImageFile("image.txt", 26145);
            Controller().FileClicked();
        } else {
            Controller().UpdateClicked();
        }
        ASSERT_TRUE(Controller().Busy());
        lastOutcome->SelectedImage = c.selected;
        view.log.clear();
        Controller().FirmwareClicked();
        EXPECT_EQ(view.log, std::vector<std::string>{"overview"});
        ASSERT_EQ(view.overviews.size(), 1u);
        const std::vector<app::OverviewRow>& rows = view.overviews[0];
        // The job's image file heads the list, as the only image the job may write.
        ASSERT_EQ(rows.size(), builtIn.size() + (c.fromFile ? 1 : 0));
        if (c.fromFile) {
            EXPECT_EQ(rows[0][1], "2.07");
        }
        EXPECT_TRUE(
            std::equal(builtIn.begin(), builtIn.end(), rows.end() - static_cast<std::ptrdiff_t>(builtIn.size())));
        EXPECT_TRUE(Controller().Busy());
    }
}

// A job's mode is fixed when it starts: a tick of "Read info only" during a failing job does not reach its
// restarts, and the box waits, like the port box, until the job has ended.
TEST_F(ControllerTest, ReadInfoOnlyChangedMidJobDoesNotReachTheRestart) {
    engine::ReadInfoOnlySupported = true;
    Start({}, true);
    view.readInfoOnly = false;
    Controller().UpdateClicked();
    EXPECT_FALSE(view.enabled[Control::ReadInfoOnly]);
    view.readInfoOnly = true;  // as a toolkit would let a disabled box be ticked by a stray message

    Notify(engine::ncFailure, link::feProgramming);                               // restarts at once
    Notify(engine::ncRetryComm, static_cast<std::int32_t>(engine::TCmd::tCMD0));  // restarts after the wait
    EXPECT_FALSE(view.enabled[Control::ReadInfoOnly]);
    view.Expire(Timer::Restart);
    ASSERT_EQ(workers.size(), 3u);
    for (const WorkerRequest& worker : workers) EXPECT_FALSE(worker.readInfoOnly);

    Notify(engine::ncFailure, link::feNoUpdate);
    EXPECT_TRUE(view.enabled[Control::ReadInfoOnly]);
    Controller().UpdateClicked();
    ASSERT_EQ(workers.size(), 4u);
    EXPECT_TRUE(workers.back().readInfoOnly);  // the next job takes the box as it is now
}

TEST_F(ControllerTest, CloseAsksOnlyWhileAJobRuns) {
    struct Case {
        const char* what;
        bool busy;
        bool restartWaits;  // a communication restart is waiting for its timer
        bool answer;
        bool closes;
        bool startSent = false;  // closed in the wait after the start request
        std::string recorded =
            " class-after=26145 version-after=- platform=- print=- image=- verdict=\"cancelled by "
            "closing\" status=20 ";
    };
    const Case cases[] = {
        {"idle", false, false, true, true},
        {"busy, No", true, false, false, false},
        {"busy, Yes", true, false, true, true},
        {"restart waits, No", true, true, false, false},
        {"restart waits, Yes", true, true, true, true},
        // The record says what a cancel there says: no class after, the start only requested.
        {"in the wait after the start request, Yes", true, false, true, true, true,
         " class-after=- version-after=- platform=- print=- image=- verdict=\"cancelled by closing; the start of "
         "the new firmware was requested; whether it runs was not checked\" status=20 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        workers.clear();
        Start({}, true);
        view.portText = "/dev/ttyUSB2";
        if (c.busy) {
            Controller().UpdateClicked();
            Notify(engine::ncClass, 26145);
        }
        if (c.restartWaits) Notify(engine::ncRetryComm, 0);
        if (c.startSent) lastOutcome->ApplicationStartSent = true;
        link::CancelRequested = false;
        view.answers = {c.answer};

        EXPECT_EQ(Controller().CloseRequested(), c.closes);

        std::vector<std::string> log;
        if (c.busy) log.push_back("ask: " + kCloseQuestion);
        if (c.busy && c.answer) log.push_back("history");
        EXPECT_EQ(view.log, log);
        // Yes while busy lets the running job stop at its next transfer; No leaves it alone.
        EXPECT_EQ(link::CancelRequested.load(), c.busy && c.answer);
        if (c.busy && c.closes) {
            // Recorded at once, with what is known: the worker's own end has nobody left to tell.
            ASSERT_EQ(history.size(), 1u);
            EXPECT_NE(history[0].find(" port=/dev/ttyUSB2 "), std::string::npos) << history[0];
            EXPECT_NE(history[0].find(" class-before=26145 "), std::string::npos) << history[0];
            EXPECT_NE(history[0].find(c.recorded), std::string::npos) << history[0];
            view.log.clear();
            Notify(engine::ncFailure, link::feCancelled);
            EXPECT_TRUE(view.log.empty());
            EXPECT_EQ(history.size(), 1u);
        } else {
            EXPECT_TRUE(history.empty());
        }
        if (c.busy && !c.closes) {
            EXPECT_EQ(view.Controls(), kBusy);
        }
        // No new worker after the operator left; one still comes after a No.
        EXPECT_EQ(view.timers.count(Timer::Restart), c.restartWaits && !c.closes ? 1u : 0u);
        if (view.timers.count(Timer::Restart)) view.Expire(Timer::Restart);
        EXPECT_EQ(workers.size(), c.busy ? (c.restartWaits && !c.closes ? 2u : 1u) : 0u);
    }
}

TEST_F(ControllerTest, ReportIsSeenFromTheFirstIdleMomentOnlyInInternalMode) {
    for (const bool internal : {false, true}) {
        SCOPED_TRACE(internal);
        Start({}, internal);
        Controller().Idle();
        EXPECT_EQ(view.reportVisible, internal);
        // Decided once.
        view.reportVisible.reset();
        Controller().Idle();
        EXPECT_FALSE(view.reportVisible);
    }
}

TEST_F(ControllerTest, PortChangesRefillTheBoxWithTheAdaptersTextsAndOpenItOnlyForAnIdleActiveProgram) {
    struct Case {
        const char* what;
        bool active;
        bool busy;
        bool dropsDown;
    };
    const Case cases[] = {
        {"idle and active", true, false, true},
        {"another application active", false, false, false},
        {"a job runs", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ports.entries = {UsbPort("/dev/ttyUSB0")};
        Start();
        if (c.busy) Controller().UpdateClicked();
        view.log.clear();
        view.portText = "/dev/ttyUSB7";  // typed, and not listed
        view.active = c.active;
        // A built-in port left out of the box must not shift the adapters' texts against the names.
        app::PortEntry builtIn{"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", "", {}};
        builtIn.identity.product = "16550A";
        app::PortEntry logger = UsbPort("/dev/ttyUSB1");
        logger.identity = {"", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3X9Q"};
        ports.entries = {UsbPort("/dev/ttyACM0"), builtIn, logger};

        Controller().PortsChanged();

        EXPECT_EQ(view.portItems, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB1"}));
        EXPECT_EQ(view.portDescriptions, (std::vector<std::string>{"", "FT232R USB UART, serial number A10K3X9Q"}));
        EXPECT_EQ(view.portText, "/dev/ttyUSB7");
        EXPECT_EQ(view.log, c.dropsDown ? std::vector<std::string>{"drop down ports"} : std::vector<std::string>{});
    }
}

TEST_F(ControllerTest, AttentionAtTheVerdictOnlyWhenTheWindowIsNotActive) {
    for (const bool active : {true, false}) {
        SCOPED_TRACE(active);
        Start({}, true);
        Controller().UpdateClicked();
        view.active = active;
        Notify(engine::ncFailure, link::feNoPort);
        const auto asked = std::count(view.log.begin(), view.log.end(), "attention");
        EXPECT_EQ(asked, active ? 0 : 1);
        // Before the verdict, which waits for the operator.
        if (!active) {
            EXPECT_LT(std::find(view.log.begin(), view.log.end(), "attention") - view.log.begin(),
                      std::find_if(view.log.begin(), view.log.end(), [](const std::string& line) {
                          return line.rfind("message: ", 0) == 0;
                      }) - view.log.begin());
        }
    }
}

TEST_F(ControllerTest, TimeLeftWhileAJobRuns) {
    Start({}, true);
    EXPECT_EQ(view.texts[Text::TimeLeft], "");
    Controller().UpdateClicked();
    // Before programming only the fixed waits are known.
    const std::regex atLeast("at least [0-9]+:[0-5][0-9] left");
    EXPECT_TRUE(std::regex_match(view.texts[Text::TimeLeft], atLeast)) << view.texts[Text::TimeLeft];
    ASSERT_TRUE(view.timers.count(Timer::TimeLeft));
    EXPECT_EQ(view.timers[Timer::TimeLeft].first, 1000ms);

    // One record a second, 100 records to go.
    Notify(engine::ncUpdateStart, 0);
    clock.Advance(10s);
    Notify(engine::ncProgress, 9, 10, 110);
    view.Expire(Timer::TimeLeft);
    const std::string during = view.texts[Text::TimeLeft];
    EXPECT_TRUE(std::regex_match(during, std::regex("[0-9]+:[0-5][0-9] left"))) << during;
    clock.Advance(60s);
    view.Expire(Timer::TimeLeft);
    const auto seconds = [](const std::string& text) {
        return std::stoi(text.substr(0, text.find(':'))) * 60 + std::stoi(text.substr(text.find(':') + 1, 2));
    };
    EXPECT_EQ(seconds(during) - seconds(view.texts[Text::TimeLeft]), 60);
    ASSERT_TRUE(view.timers.count(Timer::TimeLeft));

    // Gone when idle.
    lastOutcome->SelectedImage = 1;
    Notify(engine::ncDone, 0);
    EXPECT_EQ(view.texts[Text::TimeLeft], "");
    EXPECT_FALSE(view.timers.count(Timer::TimeLeft));
    EXPECT_EQ(view.taskbar.first, TaskbarProgress::None);
}

}  // namespace
}  // namespace vantrel::ui
