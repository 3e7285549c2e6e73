// The option flags read from the command line, and internal mode, which a per-user setting switches on.
// Everything here runs on the window's thread during start-up, before any worker exists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::app {

// The program's command line, parameter 0 being the program's own path. Process-wide; start-up sets it
// once from main's arguments (tests set their own).
void SetCommandLine(std::vector<std::string> args);
const std::vector<std::string>& CommandLine();

// The longest value GetParamValue hands out; anything beyond is cut off.
inline constexpr std::size_t kMaxParamValueLength = 1000;

// The rest of the first parameter (1 to the last) that starts with key, comparing the letters A to Z
// without regard to case and nothing else; a parameter must be longer than the key to match. default
// when none does.
std::string GetParamValue(std::string_view key, std::string_view defaultValue);

// Whether the per-user setting "intern" holds 7204. Anything else, a missing or unreadable setting
// included, means operator mode. Platform-specific: internal_mode_posix.cpp reads
// $XDG_CONFIG_HOME/Velmora/Qel.conf (default ~/.config/Velmora/Qel.conf), section [General], key intern.
bool InternalMode();

// Applies the command-line keys to the option flags of engine/option_flags.h.
void ReadCommandLineOptions(bool internal);

}  // namespace vantrel::app
