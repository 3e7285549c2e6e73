// Comparing the operator's texts (command-line keys, device paths) without regard to letter case. Only A
// to Z fold: bytes of the upper half of the code page are compared as they are, whatever the locale.
#pragma once

#include <string_view>

namespace vantrel::app {

constexpr char FoldAsciiLetter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAsciiLetter(text[i]) != FoldAsciiLetter(prefix[i])) return false;
    }
    return true;
}

}  // namespace vantrel::app
