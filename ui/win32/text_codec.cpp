#include "ui/win32/text_codec.h"

#include "ui/win32/win32.h"

namespace vantrel::ui::win32 {

namespace {

std::wstring Decode(UINT codePage, DWORD flags, const std::string& text, bool& ok) {
    ok = true;
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        ok = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Encode(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring FromText(const std::string& text) {
    bool ok = false;
    std::wstring decoded = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
    if (!ok) {
        decoded.clear();
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

std::string ToText(const std::wstring& text) { return Encode(CP_ACP, text); }

std::string ToUtf8(const std::wstring& text) { return Encode(CP_UTF8, text); }

}  // namespace vantrel::ui::win32
