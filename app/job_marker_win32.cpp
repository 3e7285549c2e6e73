#include "app/job_marker.h"
#include "link/windows_headers.h"

#include <sddl.h>

#include <initializer_list>

namespace vantrel::app {

namespace {
HANDLE marker = nullptr;

// Every local account may see the marker (SYNCHRONIZE, enough to open it by name); only the system and the
// administrators may do more. Without it the default of the creating account applies, and an installer run
// under another account could not tell a running job from none.
constexpr wchar_t kMarkerAccess[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

HANDLE CreateMarker(const wchar_t* name) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kMarkerAccess, SDDL_REVISION_1, &descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
    }
    // SYNCHRONIZE alone: opening a marker another account made needs no more than its descriptor grants.
    HANDLE handle = CreateMutexExW(&attributes, name, 0, SYNCHRONIZE);
    if (descriptor != nullptr) LocalFree(descriptor);
    return handle;
}
}  // namespace

// The marker is a named mutex nobody owns: it exists while a process holds a handle to it, and goes with
// the process however that ends. A process that may not create a Global object (no such privilege) falls
// back to its own session's namespace, which an installer started in that session still sees.
void MarkJobRunning(bool running) {
    if (running && marker == nullptr) {
        marker = CreateMarker(kJobMarkerName);
        if (marker == nullptr) marker = CreateMarker(kJobMarkerName + 7);
    } else if (!running && marker != nullptr) {
        CloseHandle(marker);
        marker = nullptr;
    }
}

bool MarkerShowsJob(bool opened, unsigned long error) { return opened || error == ERROR_ACCESS_DENIED; }

bool JobRunningOnMachine() {
    for (const wchar_t* name : {kJobMarkerName, kJobMarkerName + 7}) {
        HANDLE found = OpenMutexW(SYNCHRONIZE, FALSE, name);
        const DWORD error = found == nullptr ? GetLastError() : ERROR_SUCCESS;
        if (found != nullptr) CloseHandle(found);
        if (MarkerShowsJob(found != nullptr, error)) return true;
    }
    return false;
}

}  // namespace vantrel::app
