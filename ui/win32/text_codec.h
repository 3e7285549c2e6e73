// The updater's texts are bytes: ASCII from the presenter, single-byte (Latin-1) text from image files
// and code tables, the ANSI code page from port names and paths. Windows wants UTF-16; these convert at
// the edge of the window, once, and nowhere else.
#pragma once

#include <string>

namespace vantrel::ui::win32 {

// UTF-8 when the bytes are valid UTF-8 (ASCII always is), otherwise Latin-1, so a header field from an
// image file shows the characters it was written with. Line ends become CR LF, as edit controls want.
std::wstring FromText(const std::string& text);

// A path or port name as the system's 8-bit calls take it: the ANSI code page.
std::string ToText(const std::wstring& text);

// The characters a window shows, as UTF-8 (tests compare them with the presenter's texts).
std::string ToUtf8(const std::wstring& text);

}  // namespace vantrel::ui::win32
