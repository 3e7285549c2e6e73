// The job command a worker is created with. Its own header so that the front ends' presentation code can
// name a command without pulling in the worker and its channels.
#pragma once

#include <cstdint>

namespace vantrel::engine {

// Every job of this system is an update (tCMD0); the worker only hands the value back in its notifications.
enum class TCmd : std::uint8_t { tCMD0 = 0, tCMD1 = 1, tCMD2 = 2, tCMD_TEST = 3 };

}  // namespace vantrel::engine
