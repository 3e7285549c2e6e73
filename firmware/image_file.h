// Loading an image file, image 0 of a job's catalogue.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "firmware/catalogue.h"
#include "firmware/header.h"

namespace vantrel::firmware {

// A real image is well under 1 MiB; anything far larger is refused before it is read.
inline constexpr std::uintmax_t kMaxImageFileSize = 16u * 1024 * 1024;

// Reads the header and the record lines (every line without "=") in file order: the whole of one file, or
// nothing. Raises EInOutError or EConvertError with a message that names the file and the problem. The path
// is opened as the system names it (UTF-16 on Windows, so any name the file dialog gives opens); messages
// name it in UTF-8.
FileImage LoadFileImage(const std::filesystem::path& path);

// Reads only the header of a file (the "File version" command), raising as LoadFileImage does.
TBl3FileHeader LoadFileImageHeader(const std::filesystem::path& path);

}  // namespace vantrel::firmware
