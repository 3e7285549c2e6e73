// The firmware images by index: 0 the image loaded from a file, 1 to 4 the built-in images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/header.h"
#include "firmware/image_lines.h"

namespace vantrel::firmware {

enum FirmwareItem : int { fiHeader = 0, fiLineCount = 1, fiLineText = 2 };

int FirmwareImageCount();

bool QueryFirmwareImage(std::int32_t index, int item, std::int32_t lineIndex, std::string& text, std::int32_t& count,
                        TBl3FileHeader& header);
void GetFirmwareHeader(std::int32_t index, TBl3FileHeader& header);
TBl3FileHeader GetFirmwareHeader(std::int32_t index);
std::int32_t GetFirmwareLineCount(std::int32_t index);
// Of the image named by SelectedImage.
std::int32_t GetSelectedLineCount();
void GetFirmwareLine(std::int32_t lineIndex, std::string& text);
std::string GetFirmwareLine(std::int32_t lineIndex);

// SelectedImage: kNoImageSelected, the built-in images are the candidates; kFileImage, the file image
// alone; 1 to 4, the image a job chose.
inline constexpr std::int32_t kNoImageSelected = -1;
inline constexpr std::int32_t kFileImage = 0;

extern std::int32_t SelectedImage;
extern TBl3FileHeader FileImageHeader;
extern ImageLineList FileImageLines;
// Where each of FileImageLines stands in its file, counted from 1 (the file also holds header lines, so
// the record index alone would send the operator to the wrong line). Empty when the lines came otherwise.
extern std::vector<std::uint32_t> FileImageLineNumbers;

// The line an operator looks for a record of the selected image at: in an image file the record's line in
// the file; in a built-in image the record's index.
std::int32_t ImageLineNumber(std::int32_t lineIndex);

// SelectedImage -1, no file image, a zero header.
void ResetCatalogueState();

}  // namespace vantrel::firmware
