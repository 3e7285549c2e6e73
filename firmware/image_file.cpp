#include "firmware/image_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "firmware/catalogue.h"

namespace vantrel::firmware {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void FileError(const std::string& path, const std::string& problem) {
    throw EInOutError(path + ": " + problem);
}

// Refuses what cannot be an image file before a byte of it is read: a missing file, a directory or
// device, and anything so large that reading it would only waste memory.
std::ifstream OpenImageFile(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        const std::error_code cause = error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
        FileError(path, cause == std::errc::no_such_file_or_directory ? "No such file or directory"
                                                                      : cause.message());
    }
    if (fs::is_directory(status)) FileError(path, "Is a directory");
    if (!fs::is_regular_file(status)) FileError(path, "Not a regular file");
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) FileError(path, error.message());
    if (size > kMaxImageFileSize) {
        FileError(path, "File too large (" + std::to_string(size) + " bytes, at most " +
                            std::to_string(kMaxImageFileSize) + ")");
    }

    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) FileError(path, errno != 0 ? std::strerror(errno) : "Cannot be opened");
    return in;
}

// Runs one read step and names the file in whatever it raises, so the operator learns which file failed.
template <typename Step>
void WithFileName(const std::string& path, Step step) {
    try {
        step();
    } catch (const EConvertError& e) {
        throw EConvertError(path + ": " + e.what());
    } catch (const EInOutError& e) {
        FileError(path, e.what());
    }
}

void ReadHeader(const std::string& path, std::ifstream& in) {
    WithFileName(path, [&] {
        TextLineReader reader(in);
        ReadFirmwareHeader(reader, FileImageHeader);
    });
}

}  // namespace

void LoadFileImage(const std::string& path) {
    FileImageLines.clear();
    std::ifstream in = OpenImageFile(path);
    ReadHeader(path, in);

    // The record lines are every line of the whole file without "=", the first eight lines included: a
    // header line that lost its "=" is a record line (and fails when its turn to be programmed comes).
    in.clear();
    in.seekg(0);
    if (!in) FileError(path, "Cannot rewind");
    std::vector<std::string> lines;
    WithFileName(path, [&] {
        TextLineReader reader(in);
        while (!reader.AtEnd()) {
            std::string line = reader.ReadLine();
            if (IsRecordLine(line)) lines.push_back(std::move(line));
        }
    });
    FileImageLines = std::move(lines);
}

void LoadFileImageHeader(const std::string& path) {
    std::ifstream in = OpenImageFile(path);
    ReadHeader(path, in);
}

}  // namespace vantrel::firmware
