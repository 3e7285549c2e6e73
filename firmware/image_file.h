// Loading an image file as image 0 of the catalogue.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/header.h"

namespace vantrel::firmware {

// A real image is well under 1 MiB; anything far larger is refused before it is read.
inline constexpr std::uintmax_t kMaxImageFileSize = 16u * 1024 * 1024;

// Loads the header into FileImageHeader and the record lines (every line without "=") in file order into
// FileImageLines. A file that cannot be read leaves both empty, never half of a file. Does not touch
// SelectedImage. Raises EInOutError or EConvertError with a message that names the file and the problem.
void LoadFileImage(const std::string& path);

// Reads only the header of a file into FileImageHeader (the "File version" command). A file whose header
// cannot be read leaves FileImageHeader as it was.
void LoadFileImageHeader(const std::string& path);

}  // namespace vantrel::firmware
