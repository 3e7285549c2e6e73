#include "firmware/catalogue.h"

#include <array>

#include "firmware/builtin_images.h"
#include "firmware/code_tables.h"

namespace vantrel::firmware {

std::int32_t SelectedImage = kNoImageSelected;
TBl3FileHeader FileImageHeader;
ImageLineList FileImageLines;
std::vector<std::uint32_t> FileImageLineNumbers;

namespace {

constexpr std::int32_t kBuiltInImageCount = 4;

constexpr std::array<const BuiltInImage*, kBuiltInImageCount> kImages{
    &kVantrel_V1_06_PF15_PR19_BL3_0,
    &kVantrel_V1_10_PF15_PR39_BL3_0,
    &kVantrel_V2_08_PF21_PR39_BL3_0,
    &kVantrel_V2_08_PF21_PR48_BL3_0,
};

}  // namespace

std::span<const BuiltInImage* const> BuiltInImages() { return kImages; }

void ResetCatalogueState() {
    SelectedImage = kNoImageSelected;
    FileImageHeader = TBl3FileHeader{};
    FileImageLines.clear();
    FileImageLineNumbers.clear();
}

std::int32_t ImageLineNumber(std::int32_t lineIndex) {
    // Numbers that do not belong to the lines (lines set without a file) are not used.
    if (SelectedImage != kFileImage || FileImageLineNumbers.size() != FileImageLines.size() || lineIndex < 0 ||
        static_cast<std::size_t>(lineIndex) >= FileImageLineNumbers.size()) {
        return lineIndex;
    }
    return static_cast<std::int32_t>(FileImageLineNumbers[static_cast<std::size_t>(lineIndex)]);
}

int FirmwareImageCount() { return kBuiltInImageCount; }

bool QueryFirmwareImage(std::int32_t index, int item, std::int32_t lineIndex, std::string& text, std::int32_t& count,
                        TBl3FileHeader& header) {
    header.qel_class = kNoCode;
    header.qel_platform = kNoCode;
    header.qel_print = kNoCode;
    count = 0;
    text.clear();
    if (index < kFileImage || index > FirmwareImageCount()) return false;

    const BuiltInImage* image = index == kFileImage ? nullptr : kImages[static_cast<std::size_t>(index - 1)];
    switch (item) {
        case fiHeader: header = image ? image->header.ToHeader() : FileImageHeader; return true;
        case fiLineCount:
            count = image ? image->lineCount : static_cast<std::int32_t>(FileImageLines.size()) - 1;
            return true;
        case fiLineText: {
            // Only lines 0 to the line count exist; any other index reads as an empty line rather than past
            // the end of the image.
            const std::size_t size = image ? image->lines.size() : FileImageLines.size();
            if (lineIndex < 0 || static_cast<std::size_t>(lineIndex) >= size) return false;
            const auto at = static_cast<std::size_t>(lineIndex);
            text = image ? image->lines[at] : FileImageLines[at];
            return true;
        }
        default: return false;
    }
}

void GetFirmwareHeader(std::int32_t index, TBl3FileHeader& header) { header = GetFirmwareHeader(index); }

TBl3FileHeader GetFirmwareHeader(std::int32_t index) {
    TBl3FileHeader header;
    std::string text;
    std::int32_t count = 0;
    QueryFirmwareImage(index, fiHeader, 0, text, count, header);
    return header;
}

std::int32_t GetFirmwareLineCount(std::int32_t index) {
    TBl3FileHeader header;
    std::string text;
    std::int32_t count = 0;
    QueryFirmwareImage(index, fiLineCount, 0, text, count, header);
    return count;
}

std::int32_t GetSelectedLineCount() { return GetFirmwareLineCount(SelectedImage); }

void GetFirmwareLine(std::int32_t lineIndex, std::string& text) { text = GetFirmwareLine(lineIndex); }

std::string GetFirmwareLine(std::int32_t lineIndex) {
    TBl3FileHeader header;
    std::string text;
    std::int32_t count = 0;
    QueryFirmwareImage(SelectedImage, fiLineText, lineIndex, text, count, header);
    return text;
}

}  // namespace vantrel::firmware
