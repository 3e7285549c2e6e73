// Child processes of the console, each updating one logger, with their output read line by line. The
// engine runs one job a process, so several loggers at once are several processes.
#pragma once

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
};

// This program, as the system starts it again.
std::string OwnProgram(const std::string& argv0);

// The system's runner; nothing where the system has none.
std::unique_ptr<ChildRunner> SystemChildRunner();

}  // namespace vantrel::cli
