#include "ui/win32/text_codec.h"

#include "link/ansi_text_win32.h"

namespace vantrel::ui::win32 {

std::wstring FromText(const std::string& text) {
    std::wstring decoded;
    if (link::IsUtf8(text)) {
        decoded = link::WidenUtf8(text);
    } else {
        for (const char c : text) decoded.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    std::wstring shown;
    shown.reserve(decoded.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i] == L'\n' && (i == 0 || decoded[i - 1] != L'\r')) shown.push_back(L'\r');
        shown.push_back(decoded[i]);
    }
    return shown;
}

std::string ToUtf8(const std::wstring& text) { return link::NarrowToUtf8(text); }

}  // namespace vantrel::ui::win32
