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

constexpr std::int32_t kLargestHeaderValue = 0xFFFF;

// Stored files write a code with its top bit set as a negative number, "no code" as -1 (0xFFFF), so the
// values down to -32768 are the 16-bit two's complement of the code.
constexpr std::int32_t kMostNegativeHeaderValue = -0x8000;

// A header number is a 16-bit code or version: anything else outside -32768 to 65535 would be cut to 16
// bits and could then name another board, so it makes the header unreadable like a value that is no number.
// An empty value means the row's line is missing or carries another key, and the message says which one.
std::uint16_t HeaderWord(const std::string& value, std::string_view key, int row) {
    if (value.empty()) {
        throw EConvertError("header field \"" + std::string(key) + "\" (line " + std::to_string(row) +
                            ") is missing or empty");
    }
    const std::int32_t number = StrToInt(value);
    if (number < kMostNegativeHeaderValue || number > kLargestHeaderValue) {
        throw EConvertError("'" + value + "' is out of range for \"" + std::string(key) + "\" (-32768 to 65535)");
    }
    return static_cast<std::uint16_t>(number);
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::uint16_t BootloaderGeneration(const std::string& value) {
    if (value == "2") return 2;
    if (value == "3") return 3;
    return 0xFFFF;
}

}  // namespace

bool ReadFirmwareHeader(TextLineReader& file, TBl3FileHeader& header) {
    // Each field is stored as soon as its line is read, so a conversion failure leaves the earlier rows
    // in place. Callers that must not show a half-read header read into a header of their own.
    // A file with nothing in it is told as such, not as a header whose second line is missing.
    if (file.AtEnd()) throw EConvertError("the file is empty");
    int row = 0;
    auto value = [&](std::string_view key) {
        ++row;
        return ExtractKeyValue(file.ReadLine(), key);
    };
    auto word = [&](std::string_view key) {
        const std::string text = value(key);
        return HeaderWord(text, key, row);
    };
    // The first line names the header's kind: a file without it (the line deleted, a blank line before it)
    // would read every later row from its neighbour's line and end up blaming the logger, so it is refused
    // here. A UTF-8 byte order mark, which some editors put before it, is no part of the key.
    std::string first = file.ReadLine();
    if (first.starts_with(kUtf8ByteOrderMark)) first.erase(0, kUtf8ByteOrderMark.size());
    ++row;
    const std::size_t equals = first.find('=');
    if (equals == std::string::npos || first.compare(0, equals, "bootloader") != 0) {
        throw EConvertError("header field \"bootloader\" (line 1) is missing");
    }
    // An unknown generation is still a header: it matches no logger's bootloader.
    header.qel_bl = BootloaderGeneration(ExtractKeyValue(first, "bootloader"));
    header.qel_bl_ver = word("bootloader version");
    header.qel_class = word("class");
    header.qel_verH = word("versionH");
    header.qel_verL = word("versionL");
    header.qel_platform = word("platform");
    header.qel_print = word("print");
    header.qel_date = value("date");
    return true;
}

}  // namespace vantrel::firmware
