#include "firmware/catalogue.h"

#include <array>

#include "firmware/builtin_images.h"
#include "firmware/code_tables.h"

namespace vantrel::firmware {

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

std::int32_t ImageLineNumber(std::int32_t index, std::int32_t lineIndex, const FileImage* file) {
    // Numbers that do not belong to the lines (lines set without a file) are not used.
    if (index != kFileImage || file == nullptr || file->lineNumbers.size() != file->lines.size() || lineIndex < 0 ||
        static_cast<std::size_t>(lineIndex) >= file->lineNumbers.size()) {
        return lineIndex;
    }
    return static_cast<std::int32_t>(file->lineNumbers[static_cast<std::size_t>(lineIndex)]);
}

int FirmwareImageCount() { return kBuiltInImageCount; }

bool QueryFirmwareImage(const FileImage* file, std::int32_t index, int item, std::int32_t lineIndex, std::string& text,
                        std::int32_t& count, TBl3FileHeader& header) {
    header.qel_class = kNoCode;
    header.qel_platform = kNoCode;
    header.qel_print = kNoCode;
    count = 0;
    text.clear();
    if (index < kFileImage || index > FirmwareImageCount()) return false;
    static const FileImage kNoFile;
    const FileImage& fileImage = file != nullptr ? *file : kNoFile;

    const BuiltInImage* image = index == kFileImage ? nullptr : kImages[static_cast<std::size_t>(index - 1)];
    switch (item) {
        case fiHeader: header = image ? image->header.ToHeader() : fileImage.header; return true;
        case fiLineCount:
            count = image ? image->lineCount : static_cast<std::int32_t>(fileImage.lines.size()) - 1;
            return true;
        case fiLineText: {
            // Only lines 0 to the line count exist; any other index reads as an empty line rather than past
            // the end of the image.
            const std::size_t size = image ? image->lines.size() : fileImage.lines.size();
            if (lineIndex < 0 || static_cast<std::size_t>(lineIndex) >= size) return false;
            const auto at = static_cast<std::size_t>(lineIndex);
            text = image ? image->lines[at] : fileImage.lines[at];
            return true;
        }
        default: return false;
    }
}

TBl3FileHeader GetFirmwareHeader(std::int32_t index, const FileImage* file) {
    TBl3FileHeader header;
    std::string text;
    std::int32_t count = 0;
    QueryFirmwareImage(file, index, fiHeader, 0, text, count, header);
    return header;
}

std::int32_t GetFirmwareLineCount(std::int32_t index, const FileImage* file) {
    TBl3FileHeader header;
    std::string text;
    std::int32_t count = 0;
    QueryFirmwareImage(file, index, fiLineCount, 0, text, count, header);
    return count;
}

void GetFirmwareLine(std::int32_t index, std::int32_t lineIndex, std::string& text, const FileImage* file) {
    TBl3FileHeader header;
    std::int32_t count = 0;
    QueryFirmwareImage(file, index, fiLineText, lineIndex, text, count, header);
}

std::string GetFirmwareLine(std::int32_t index, std::int32_t lineIndex, const FileImage* file) {
    std::string text;
    GetFirmwareLine(index, lineIndex, text, file);
    return text;
}

}  // namespace vantrel::firmware
