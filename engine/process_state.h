// The process-wide state of the updater in one place, so tests that run jobs can start each from the state
// the program starts with.
#pragma once

namespace vantrel::engine {

// Option flags, cancel request, record buffer and line back to their start values. No job may be running.
void ResetProcessState();

}  // namespace vantrel::engine
