#include "engine/option_flags.h"

namespace vantrel::engine {

int FileMode = 0;
bool CheckUpdateClass = true;
bool CheckFamily = true;
bool CheckUpdateId = true;
bool ClearsMeasurements = false;
bool ReadInfoOnlySupported = false;
bool ReadInfoOnly = false;

void ResetOptionFlags() {
    FileMode = 0;
    CheckUpdateClass = true;
    CheckFamily = true;
    CheckUpdateId = true;
    ClearsMeasurements = false;
    ReadInfoOnly = false;
}

}  // namespace vantrel::engine
