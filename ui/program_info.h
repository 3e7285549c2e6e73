// What the desktop window answers to --help and --version instead of opening (its manual page is made
// from these texts). The same on every system, so the Qt and the Win32 window say the same.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantrel::ui {

inline constexpr const char* kWindowProgram = "vantrel-update";

// The text to show and exit with when the first parameter (args[0] being the program's path) is exactly
// --help or --version; nothing otherwise, and the window opens. Anything else on the command line stays
// what it always was: start-up keys, and what is not one is ignored.
std::optional<std::string> WindowInfoText(const std::vector<std::string>& args);

}  // namespace vantrel::ui
