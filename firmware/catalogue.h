// The firmware images by index: 0 the image loaded from a file, 1 to 4 the built-in images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/header.h"
#include "firmware/image_lines.h"

namespace vantrel::firmware {

enum FirmwareItem : int { fiHeader = 0, fiLineCount = 1, fiLineText = 2 };

// An image read from a file: a job's own copy, made once before the job starts, so nothing the operator
// opens later reaches a job that runs.
struct FileImage {
    TBl3FileHeader header;
    ImageLineList lines;
    // Where each of the lines stands in its file, counted from 1 (the file also holds header lines, so the
    // record index alone would send the operator to the wrong line). Empty when the lines came otherwise.
    std::vector<std::uint32_t> lineNumbers;
};

int FirmwareImageCount();

// Image 0 is file (none when it is null); 1 to 4 are the built-in images.
bool QueryFirmwareImage(const FileImage* file, std::int32_t index, int item, std::int32_t lineIndex, std::string& text,
                        std::int32_t& count, TBl3FileHeader& header);
TBl3FileHeader GetFirmwareHeader(std::int32_t index, const FileImage* file = nullptr);
std::int32_t GetFirmwareLineCount(std::int32_t index, const FileImage* file = nullptr);
void GetFirmwareLine(std::int32_t index, std::int32_t lineIndex, std::string& text, const FileImage* file = nullptr);
std::string GetFirmwareLine(std::int32_t index, std::int32_t lineIndex, const FileImage* file = nullptr);

// A job's SelectedImage: kNoImageSelected, none chosen (yet); kFileImage, the file image; 1 to 4, a
// built-in image.
inline constexpr std::int32_t kNoImageSelected = -1;
inline constexpr std::int32_t kFileImage = 0;

// The line an operator looks for a record of an image at: in an image file the record's line in the file;
// in a built-in image the record's index.
std::int32_t ImageLineNumber(std::int32_t index, std::int32_t lineIndex, const FileImage* file);

}  // namespace vantrel::firmware
