// Paths, port names and command lines are bytes in the ANSI code page throughout the program, as main's
// argv and the system's 8-bit calls have them; the wide calls want UTF-16. These convert between the two.
#pragma once

#include <string>

namespace vantrel::link {

std::wstring WidenAnsi(const std::string& text);
std::string NarrowToAnsi(const std::wstring& text);

}  // namespace vantrel::link
