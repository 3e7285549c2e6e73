// The console's name, as its messages on stderr and its JSON start event give it.
#pragma once

namespace vantrel::cli {

inline constexpr const char* kProgramName = "vantrel-update-cli";
// What every line the console writes on stderr starts with.
inline constexpr const char* kProgramPrefix = "vantrel-update-cli: ";

}  // namespace vantrel::cli
