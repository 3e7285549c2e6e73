#include "link/windows_headers.h"

#include <deque>
#include <mutex>
#include <thread>

#include "cli/child_processes.h"
#include "engine/wakeup.h"
#include "link/ansi_text_win32.h"
#include "link/cancel.h"

namespace vantrel::cli {

namespace {

// One argument as the C runtime's parser splits it again: quoted when it is empty or holds blanks or
// quotes; inside, a quote is escaped with a backslash, and backslashes are doubled where they come before
// a quote, the closing one included. Elsewhere backslashes stand for themselves.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The system's own words for the last error, for a child that could not be started.
std::string LastErrorText() {
    const DWORD error = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return (message.empty() ? "error" : message) + " (" + std::to_string(error) + ")";
}

// A job object that ends every child when this process ends, however it ends (the last handle to the job
// closes with it): no logger is left being programmed unseen, its port held. Null when the system refuses
// one; the children then run without it.
HANDLE ChildrenEndWithThisProcess() {
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// The children share this process's console, so a Ctrl+C or Ctrl+Break typed there reaches every one of
// them from the system itself: that is how interrupts are passed on here. This process's own handler only
// notes the request, and the runner goes on reading until every child has ended.
class WindowsChildren final : public ChildRunner {
public:
    WindowsChildren() : job_(ChildrenEndWithThisProcess()) {}
    ~WindowsChildren() override {
        JoinAll();
        if (job_ != nullptr) CloseHandle(job_);
    }

    bool Start(const std::vector<std::string>& commandLine, std::string& whyNot) override {
        // The arguments come in the ANSI code page, as main's argv has them.
        std::wstring line;
        for (const std::string& arg : commandLine) {
            if (!line.empty()) line += L' ';
            AppendQuoted(line, link::WidenAnsi(arg));
        }
        // Only the ends the child gets are inherited, and this process closes its copies of them at once:
        // each output then ends when the child does.
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE reads[2] = {nullptr, nullptr};
        HANDLE writes[2] = {nullptr, nullptr};
        auto closeAll = [&] {
            for (HANDLE handle : {reads[0], reads[1], writes[0], writes[1]}) {
                if (handle != nullptr) CloseHandle(handle);
            }
        };
        for (int s = 0; s < 2; ++s) {
            if (!CreatePipe(&reads[s], &writes[s], &inherited, 0) ||
                !SetHandleInformation(reads[s], HANDLE_FLAG_INHERIT, 0)) {
                whyNot = LastErrorText();
                closeAll();
                return false;
            }
        }
        const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                         OPEN_EXISTING, 0, nullptr);
        if (input == INVALID_HANDLE_VALUE) {
            whyNot = LastErrorText();
            closeAll();
            return false;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = writes[0];
        startup.hStdError = writes[1];
        PROCESS_INFORMATION process{};
        // Suspended until it is in the job, so that nothing it does comes before.
        const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                            nullptr, &startup, &process) != 0;
        if (!started) whyNot = LastErrorText();
        CloseHandle(input);
        CloseHandle(writes[0]);
        CloseHandle(writes[1]);
        writes[0] = writes[1] = nullptr;
        if (!started) {
            closeAll();
            return false;
        }
        if (job_ != nullptr) AssignProcessToJobObject(job_, process.hProcess);
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);

        std::size_t child = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            child = children_.size();
            children_.push_back({});
        }
        threads_.emplace_back(&WindowsChildren::ReadOutput, this, child, ChildEvent::Kind::Out, reads[0]);
        threads_.emplace_back(&WindowsChildren::ReadOutput, this, child, ChildEvent::Kind::Err, reads[1]);
        threads_.emplace_back(&WindowsChildren::AwaitEnd, this, child, process.hProcess);
        return true;
    }

    std::optional<ChildEvent> NextWithin(std::chrono::milliseconds wait) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.WaitFor(lock, wait, [&] { return !ready_.empty(); })) return std::nullopt;
        ChildEvent event = std::move(ready_.front());
        ready_.pop_front();
        if (event.kind == ChildEvent::Kind::Ended) ++reported_;
        return event;
    }

    // The console's handler notes the first request (console_win32.cpp) and ends the program on one a
    // second later; what the children do with the same Ctrl+C is theirs.
    int StopRequests() const override { return link::CancelRequested.load() ? 1 : 0; }

    std::optional<ChildEvent> Next() override {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.Wait(lock, [&] { return !ready_.empty() || reported_ == children_.size(); });
        if (ready_.empty()) {
            lock.unlock();
            JoinAll();
            return std::nullopt;
        }
        ChildEvent event = std::move(ready_.front());
        ready_.pop_front();
        if (event.kind == ChildEvent::Kind::Ended) ++reported_;
        return event;
    }

private:
    struct Child {
        int openOutputs = 2;
        std::optional<int> status;
    };

    void ReadOutput(std::size_t child, ChildEvent::Kind kind, HANDLE pipe) {
        std::string partial;
        char buffer[4096];
        DWORD n = 0;
        // A broken pipe is the end: the child has closed its end, normally by ending.
        while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            partial.append(buffer, n);
            std::vector<std::string> lines;
            for (std::size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
                lines.push_back(partial.substr(0, end));
                partial.erase(0, end + 1);
            }
            if (!lines.empty()) Push(child, kind, std::move(lines), false);
        }
        CloseHandle(pipe);
        // A last line without its end counts too.
        std::vector<std::string> last;
        if (!partial.empty()) last.push_back(std::move(partial));
        Push(child, kind, std::move(last), true);
    }

    void AwaitEnd(std::size_t child, HANDLE process) {
        WaitForSingleObject(process, INFINITE);
        DWORD code = 1;
        if (!GetExitCodeProcess(process, &code)) code = 1;
        CloseHandle(process);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            children_[child].status = static_cast<int>(code);
            ReportEndOnceRead(child);
        }
        changed_.Notify();
    }

    // Lines of one output, and whether it has ended; a CR before the LF is the console's line end, not text.
    void Push(std::size_t child, ChildEvent::Kind kind, std::vector<std::string> lines, bool ended) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::string& text : lines) {
                if (!text.empty() && text.back() == '\r') text.pop_back();
                ready_.push_back({kind, child, std::move(text)});
            }
            if (ended) {
                --children_[child].openOutputs;
                ReportEndOnceRead(child);
            }
        }
        changed_.Notify();
    }

    // Called with the lock held: the end follows the child's last line, whichever comes last.
    void ReportEndOnceRead(std::size_t child) {
        const Child& state = children_[child];
        if (state.openOutputs == 0 && state.status)
            ready_.push_back({ChildEvent::Kind::Ended, child, {}, *state.status});
    }

    // Threads are joined, never detached (see engine/comm_thread.cpp on the Windows threads layer).
    void JoinAll() {
        for (std::thread& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
        threads_.clear();
    }

    std::mutex mutex_;
    engine::Wakeup changed_;
    std::vector<Child> children_;
    std::deque<ChildEvent> ready_;
    std::size_t reported_ = 0;
    std::vector<std::thread> threads_;  // touched by the caller's thread only
    HANDLE job_;
};

}  // namespace

std::string OwnProgram(const std::string& argv0) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return argv0;
        if (length < path.size()) {
            path.resize(length);
            return link::NarrowToAnsi(path);
        }
        path.resize(path.size() * 2);
    }
}

std::unique_ptr<ChildRunner> SystemChildRunner(InterruptPolicy) { return std::make_unique<WindowsChildren>(); }

}  // namespace vantrel::cli
