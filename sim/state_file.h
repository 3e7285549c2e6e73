// The simulated logger's flash on disk, so that a simulator started again after a power loss finds what
// had been programmed before it (see LoggerModel::SaveState for the content).
#pragma once

#include <string>

#include "sim/logger_model.h"
#include "sim/result.h"

namespace vantrel::sim {

// Written to a temporary file beside the target and renamed over it, so a reader never sees half a state.
Result<> SaveStateFile(const LoggerModel& model, const std::string& path);
Result<> LoadStateFile(LoggerModel& model, const std::string& path);

}  // namespace vantrel::sim
