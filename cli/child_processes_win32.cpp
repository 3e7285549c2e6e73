#include "cli/child_processes.h"

namespace vantrel::cli {

std::string OwnProgram(const std::string& argv0) { return argv0; }

// Several loggers at once are not offered here yet: one console a logger instead.
std::unique_ptr<ChildRunner> SystemChildRunner() { return nullptr; }

}  // namespace vantrel::cli
