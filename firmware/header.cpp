#include "firmware/header.h"

#include <limits>
#include <string>

namespace vantrel::firmware {

std::string TextLineReader::ReadLine() {
    std::string line;
    std::streambuf* buffer = in_.rdbuf();
    if (buffer == nullptr || !in_.good()) return line;
    using Traits = std::streambuf::traits_type;
    for (;;) {
        const Traits::int_type c = buffer->sbumpc();
        if (Traits::eq_int_type(c, Traits::eof())) {
            in_.setstate(std::ios::eofbit);
            break;
        }
        if (Traits::to_char_type(c) == '\n') break;
        if (line.size() >= maxLineLength_) {
            // A CR may still end a line of exactly the maximum length. It is the terminator's, so the line
            // is complete as it stands: a CR the line itself ends with must not be taken for it below.
            if (Traits::to_char_type(c) == '\r' && Traits::eq_int_type(buffer->sgetc(), Traits::to_int_type('\n'))) {
                buffer->sbumpc();
                return line;
            }
            throw EInOutError("line longer than " + std::to_string(maxLineLength_) + " characters");
        }
        line.push_back(Traits::to_char_type(c));
    }
    if (in_.bad()) throw EInOutError("read error");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool TextLineReader::AtEnd() const {
    std::streambuf* buffer = in_.rdbuf();
    if (buffer == nullptr || !in_.good()) return true;
    using Traits = std::streambuf::traits_type;
    return Traits::eq_int_type(buffer->sgetc(), Traits::eof());
}

std::string ExtractKeyValue(std::string_view line, std::string_view key) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.substr(0, equals) != key) return {};
    return std::string(line.substr(equals + 1));
}

namespace {

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

[[noreturn]] void NotAnInteger(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

    int base = 10;
    if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
        base = 16;
        pos += 1;
    } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos == text.size()) NotAnInteger(text);

    // The magnitude may reach 2^31 only for a negative value; anything beyond fails as soon as it is seen,
    // so arbitrarily long digit strings cannot overflow the accumulator.
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = DigitValue(text[pos], base);
        if (digit < 0) NotAnInteger(text);
        magnitude = magnitude * base + digit;
        if (magnitude > limit) NotAnInteger(text);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

namespace {

// The header keeps the low 16 bits of the converted value: -1 becomes 0xFFFF, 70000 becomes 4464.
std::uint16_t Low16(std::int32_t value) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value)); }

std::uint16_t BootloaderGeneration(const std::string& value) {
    if (value == "2") return 2;
    if (value == "3") return 3;
    return 0xFFFF;
}

}  // namespace

bool ReadFirmwareHeader(TextLineReader& file, TBl3FileHeader& header) {
    // Each field is stored as soon as its line is read, so a conversion failure leaves the earlier rows
    // in place; callers that show a half-read header rely on that.
    auto value = [&](std::string_view key) { return ExtractKeyValue(file.ReadLine(), key); };
    header.qel_bl = BootloaderGeneration(value("bootloader"));
    header.qel_bl_ver = Low16(StrToInt(value("bootloader version")));
    header.qel_class = Low16(StrToInt(value("class")));
    header.qel_verH = Low16(StrToInt(value("versionH")));
    header.qel_verL = Low16(StrToInt(value("versionL")));
    header.qel_platform = Low16(StrToInt(value("platform")));
    header.qel_print = Low16(StrToInt(value("print")));
    header.qel_date = value("date");
    return true;
}

}  // namespace vantrel::firmware
