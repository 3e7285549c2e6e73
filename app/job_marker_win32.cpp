#include "app/job_marker.h"
#include "link/windows_headers.h"

namespace vantrel::app {

namespace {
HANDLE marker = nullptr;
}

// The marker is a named mutex nobody owns: it exists while a process holds a handle to it, and goes with
// the process however that ends. A process that may not create a Global object (no such privilege) falls
// back to its own session's namespace, which an installer started in that session still sees.
void MarkJobRunning(bool running) {
    if (running && marker == nullptr) {
        marker = CreateMutexW(nullptr, FALSE, kJobMarkerName);
        if (marker == nullptr) marker = CreateMutexW(nullptr, FALSE, kJobMarkerName + 7);
    } else if (!running && marker != nullptr) {
        CloseHandle(marker);
        marker = nullptr;
    }
}

}  // namespace vantrel::app
