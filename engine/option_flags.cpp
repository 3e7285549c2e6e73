#include "engine/option_flags.h"

namespace vantrel::engine {

int FileMode = kFileModeOperator;
bool CheckUpdateClass = true;
bool CheckFamily = true;
bool CheckUpdateId = true;
bool ClearsMeasurements = false;
bool ReadInfoOnlySupported = false;
bool ReadInfoOnly = false;

void ResetOptionFlags() {
    FileMode = kFileModeOperator;
    CheckUpdateClass = true;
    CheckFamily = true;
    CheckUpdateId = true;
    ClearsMeasurements = false;
    ReadInfoOnly = false;
}

}  // namespace vantrel::engine
