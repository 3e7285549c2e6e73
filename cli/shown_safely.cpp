#include "cli/shown_safely.h"

namespace vantrel::cli {

std::string ShownSafely(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            shown += "\\x";
            shown.push_back(kHex[byte >> 4]);
            shown.push_back(kHex[byte & 0xF]);
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

}  // namespace vantrel::cli
