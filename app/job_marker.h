#pragma once

// A sign, visible to other processes, that a job runs in this program: the Windows installer waits for it
// to go before it closes the window and replaces the programs, so that no job is cut off by an update of
// the updater. Where packages are installed by a package manager (which leaves running programs alone,
// their files stay open), there is nothing to show.
namespace vantrel::app {

// The name of the Windows object that exists while a job runs in any vantrel-update or vantrel-update-cli
// process of the machine (the Global namespace: the installer's actions may run in another session).
inline constexpr wchar_t kJobMarkerName[] = L"Global\\VantrelFirmwareUpdateJobRunning";

// Called when a job starts (true) and when the program is idle again (false); repeated calls are harmless.
// The window also holds it while its verdict is on screen and unread, so that the installer does not close
// the window before the operator has read how the job ended.
void MarkJobRunning(bool running);

// Windows only, for the installer: whether any process of the machine holds the marker.
bool JobRunningOnMachine();

// Windows only: what one attempt to open the marker by name says, from whether it opened and the system's
// error code if not. A marker that exists but may not be opened (access denied: created under another
// account) still shows a running job.
bool MarkerShowsJob(bool opened, unsigned long error);

}  // namespace vantrel::app
