// Image headers and the text form they take in image files: eight key=value lines in fixed order.
// Error contract: a first line without the key "bootloader", or a numeric value that is missing, no integer
// or outside -32768 to 65535 raises EConvertError naming the field or the text; errors of the file itself
// raise EInOutError. Nothing is caught here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel::firmware {

struct TBl3FileHeader {
    std::uint16_t qel_class = 0;
    std::uint16_t qel_verH = 0;
    std::uint16_t qel_verL = 0;
    std::uint16_t qel_platform = 0;
    std::uint16_t qel_print = 0;
    std::string qel_date;
    std::uint16_t qel_bl = 0;
    std::uint16_t qel_bl_ver = 0;
    friend bool operator==(const TBl3FileHeader&, const TBl3FileHeader&) = default;
};

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Lines of a single-byte text file, CR LF or LF ended; bytes are kept as they are, nothing is decoded.
// After the end every read gives an empty line. A line longer than maxLineLength raises EInOutError, so a
// file without line breaks cannot make a reader swallow it whole into one line.
class TextLineReader {
public:
    static constexpr std::size_t kDefaultMaxLineLength = 64 * 1024;

    explicit TextLineReader(std::istream& in, std::size_t maxLineLength = kDefaultMaxLineLength)
        : in_(in), maxLineLength_(maxLineLength) {}
    std::string ReadLine();
    bool AtEnd() const;

private:
    std::istream& in_;
    std::size_t maxLineLength_;
};

// The value of a key=value line when its key is exactly key, else empty.
std::string ExtractKeyValue(std::string_view line, std::string_view key);

// Optional leading blanks, optional sign, decimal digits or hex digits after "$", "x" or "0x", nothing
// after; the signed value must fit 32 bits. Raises EConvertError naming the text.
std::int32_t StrToInt(std::string_view text);

// Reads the next eight lines into header, storing each field as soon as it is read. Returns true.
// A UTF-8 byte order mark before the first line is skipped. The numeric fields take values 0 to 65535,
// and -32768 to -1 as their 16-bit two's complement.
bool ReadFirmwareHeader(TextLineReader& file, TBl3FileHeader& header);

// Whether a line of an image file is a record line: every line without "=".
inline bool IsRecordLine(std::string_view line) { return line.find('=') == std::string_view::npos; }

}  // namespace vantrel::firmware
