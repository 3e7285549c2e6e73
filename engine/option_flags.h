// The process-wide option flags, written on the window's thread at start-up from the command line. A job
// takes the checks it runs with into its request (engine/job_request.h); workers never read these.
#pragma once

namespace vantrel::engine {

// FileMode: who works with the program. Internal mode shows the report window and lets the command-line
// keys relax the checks; image files (the key f:+) add the File buttons.
inline constexpr int kFileModeOperator = 0;
inline constexpr int kFileModeInternal = 1;
inline constexpr int kFileModeImageFiles = 2;

extern int FileMode;
extern bool CheckUpdateClass;
extern bool CheckFamily;
extern bool CheckUpdateId;
extern bool ClearsMeasurements;
extern bool ReadInfoOnlySupported;  // set by the device worker's unit

// Back to the defaults the program starts with (ReadInfoOnlySupported is left as the device unit set it).
void ResetOptionFlags();

}  // namespace vantrel::engine
