// Loading an image file as image 0 of the catalogue.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "firmware/header.h"

namespace vantrel::firmware {

// A real image is well under 1 MiB; anything far larger is refused before it is read.
inline constexpr std::uintmax_t kMaxImageFileSize = 16u * 1024 * 1024;

// Loads the header into FileImageHeader and the record lines (every line without "=") in file order into
// FileImageLines. A file that cannot be read leaves both empty, never half of a file. Does not touch
// SelectedImage. Raises EInOutError or EConvertError with a message that names the file and the problem.
// The path is opened as the system names it (UTF-16 on Windows, so any name the file dialog gives opens);
// messages name it in UTF-8.
void LoadFileImage(const std::filesystem::path& path);

// Reads only the header of a file into FileImageHeader (the "File version" command). A file whose header
// cannot be read leaves FileImageHeader as it was.
void LoadFileImageHeader(const std::filesystem::path& path);

}  // namespace vantrel::firmware
