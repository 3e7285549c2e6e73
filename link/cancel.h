// The operator's cancel request: written by the window's thread, read by the worker before every transfer
// attempt. Atomic because the two threads meet here without any other synchronisation; relaxed order is
// enough, a late read only moves the cancel to the next attempt.
#pragma once

#include <atomic>

namespace vantrel::link {

extern std::atomic<bool> CancelRequested;

}  // namespace vantrel::link
