// Child processes of the console, each updating one logger, with their output read line by line. The
// engine runs one job a process, so several loggers at once are several processes.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

struct ChildEvent {
    enum class Kind { Out, Err, Ended };
    Kind kind;
    std::size_t child;  // in the order the children were started
    std::string text;   // a line of the child's stdout or stderr, without its end
    int status = 0;     // the child's exit status once it ended (128 + signal for a signal that ended it)
};

class ChildRunner {
public:
    virtual ~ChildRunner() = default;
    // Starts the program commandLine[0] with the rest as its arguments, its standard input empty. A child
    // does not outlive this process: when it ends, however it ends, each child still running cancels its
    // job as on a first interrupt (Linux) or is ended with it (Windows). False, with the system's reason in
    // whyNot, when it could not be started.
    virtual bool Start(const std::vector<std::string>& commandLine, std::string& whyNot) = 0;
    // Waits for a whole line of a child's output or a child's end; nothing once every child has ended
    // and its output was read. Interrupts that reach this process meanwhile are passed on to every child
    // still running, one for one: each child cancels its job as a single console would. On Windows the
    // children share the console, which gives each of them its Ctrl+C or Ctrl+Break itself.
    virtual std::optional<ChildEvent> Next() = 0;
    // The same, but waits at most about `wait`: nothing when no line or end came by then, or no child runs.
    virtual std::optional<ChildEvent> NextWithin(std::chrono::milliseconds wait) = 0;
    // How many requests to stop reached this process so far: interrupts that come together (within a
    // second of the first of them) are one request.
    virtual int StopRequests() const = 0;
};

// What the runner does with the interrupts that reach this process. Several loggers at once: every one
// is passed on at once, so each job is cancelled as a single console's would be. The station: the first
// request is its own (it takes no new logger, the jobs run on), the second is passed on (each job is
// cancelled), and a third ends every child and the station at once.
enum class InterruptPolicy { PassEveryOne, KeepTheFirst };

// This program, as the system starts it again.
std::string OwnProgram(const std::string& argv0);

// The system's runner; nothing where the system has none. On Windows the children share the console,
// which gives each of them a Ctrl+C itself: there the station's first request reaches the jobs too.
std::unique_ptr<ChildRunner> SystemChildRunner(InterruptPolicy policy = InterruptPolicy::PassEveryOne);

}  // namespace vantrel::cli
