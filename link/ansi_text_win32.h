// Names (ports, paths) and texts travel through the program as bytes. On Windows a name is UTF-8, which
// holds every name the system's wide calls give and take; the ANSI code page is what the system's 8-bit
// calls and an 8-bit command line (main's argv) have. These are the program's only conversions between
// those bytes and the UTF-16 of the wide calls.
#pragma once

#include <string>

namespace vantrel::link {

std::wstring WidenAnsi(const std::string& text);
std::string NarrowToAnsi(const std::wstring& text);

// Invalid sequences become U+FFFD.
std::wstring WidenUtf8(const std::string& text);
std::string NarrowToUtf8(const std::wstring& text);
bool IsUtf8(const std::string& text);

// A name as the wide calls take it: UTF-8, or, when the bytes are no UTF-8, a name from an 8-bit command
// line in the ANSI code page.
std::wstring WidenName(const std::string& name);

}  // namespace vantrel::link
