#include "engine/option_flags.h"

#include "engine/job_request.h"

namespace vantrel::engine {

int FileMode = kFileModeOperator;
bool CheckUpdateClass = true;
bool CheckFamily = true;
bool CheckUpdateId = true;
bool ClearsMeasurements = false;
bool ReadInfoOnlySupported = false;

void ResetOptionFlags() {
    FileMode = kFileModeOperator;
    CheckUpdateClass = true;
    CheckFamily = true;
    CheckUpdateId = true;
    ClearsMeasurements = false;
}

JobChecks CurrentJobChecks() { return {CheckFamily, CheckUpdateClass, CheckUpdateId}; }

}  // namespace vantrel::engine
