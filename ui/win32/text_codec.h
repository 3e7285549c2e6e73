// The updater's texts are bytes: ASCII from the presenter, names (ports, paths) in UTF-8, single-byte
// (Latin-1) text from image files and code tables. Windows wants UTF-16; the window converts at its edge,
// through the program's one conversion (link/ansi_text_win32.h), and nowhere else.
#pragma once

#include <string>

namespace vantrel::ui::win32 {

// UTF-8 when the bytes are valid UTF-8 (ASCII and every name always are), otherwise Latin-1, so a header
// field from an image file shows the characters it was written with. Line ends become CR LF, as edit
// controls want.
std::wstring FromText(const std::string& text);

// A name or text the window holds, as the program's bytes: UTF-8, which keeps every character.
std::string ToUtf8(const std::wstring& text);

}  // namespace vantrel::ui::win32
