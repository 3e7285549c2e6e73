// A text from outside the program (a port name, a file name, a child's line) as a terminal may show it.
#pragma once

#include <string>

namespace vantrel::cli {

// Control characters (a port name may hold an escape sequence) as \xHH, so a terminal only shows them.
std::string ShownSafely(const std::string& text);

}  // namespace vantrel::cli
