#include "link/windows_headers.h"

#include "link/ansi_text_win32.h"

namespace vantrel::link {

namespace {

std::wstring Widen(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring WidenAnsi(const std::string& text) { return Widen(CP_ACP, 0, text); }
std::string NarrowToAnsi(const std::wstring& text) { return Narrow(CP_ACP, text); }
std::wstring WidenUtf8(const std::string& text) { return Widen(CP_UTF8, 0, text); }
std::string NarrowToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, text); }

bool IsUtf8(const std::string& text) {
    return text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

std::wstring WidenName(const std::string& name) { return IsUtf8(name) ? WidenUtf8(name) : WidenAnsi(name); }

}  // namespace vantrel::link
