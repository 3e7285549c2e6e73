// The wall-clock time of the report lines, in the operator's time zone. The C library's thread-safe
// conversion is spelled differently per system; the build picks local_time_posix.cpp or local_time_win32.cpp.
#pragma once

#include <ctime>

namespace vantrel::app {

std::tm LocalTime(std::time_t when);

}  // namespace vantrel::app
