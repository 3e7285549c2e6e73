// The four images compiled into the program. Each is generated at build time from its file under
// firmware/images/ (tools/embed_images.cpp), so the header, the line count and the lines are constants and
// nothing is parsed or counted at run time.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "firmware/header.h"

namespace vantrel::firmware {

// TBl3FileHeader without the owning string, so an image can be constant-initialised.
struct BuiltInHeader {
    std::uint16_t qel_class;
    std::uint16_t qel_verH;
    std::uint16_t qel_verL;
    std::uint16_t qel_platform;
    std::uint16_t qel_print;
    std::string_view qel_date;
    std::uint16_t qel_bl;
    std::uint16_t qel_bl_ver;

    TBl3FileHeader ToHeader() const {
        return {qel_class, qel_verH, qel_verL, qel_platform, qel_print, std::string(qel_date), qel_bl, qel_bl_ver};
    }
};

struct BuiltInImage {
    std::string_view unitName;  // e.g. "Vantrel_V1_06_PF15_PR19_BL3_0", the file name without ".txt"
    BuiltInHeader header;
    std::int32_t lineCount;                   // index of the last line, the end-of-file record
    std::span<const std::string_view> lines;  // lineCount + 1 record lines, in programming order
};

extern const BuiltInImage kVantrel_V1_06_PF15_PR19_BL3_0;
extern const BuiltInImage kVantrel_V1_10_PF15_PR39_BL3_0;
extern const BuiltInImage kVantrel_V2_08_PF21_PR39_BL3_0;
extern const BuiltInImage kVantrel_V2_08_PF21_PR48_BL3_0;

// Image index i (1 to 4) is BuiltInImages()[i - 1].
std::span<const BuiltInImage* const> BuiltInImages();

}  // namespace vantrel::firmware
