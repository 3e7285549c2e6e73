#include "firmware/image_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "firmware/catalogue.h"

namespace vantrel::firmware {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void FileError(const std::string& path, const std::string& problem) {
    throw EInOutError(path + ": " + problem);
}

// The file's name as messages give it: UTF-8 (on POSIX systems the bytes of the name as they are).
std::string NameOf(const fs::path& file) {
    const std::u8string name = file.u8string();
    return std::string(name.begin(), name.end());
}

// Refuses what cannot be an image file before a byte of it is read: a missing file, a directory or
// device, and anything so large that reading it would only waste memory.
std::ifstream OpenImageFile(const fs::path& file) {
    const std::string path = NameOf(file);
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (error || !fs::exists(status)) {
        const std::error_code cause = error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
        FileError(path, cause == std::errc::no_such_file_or_directory ? "No such file or directory" : cause.message());
    }
    if (fs::is_directory(status)) FileError(path, "Is a directory");
    if (!fs::is_regular_file(status)) FileError(path, "Not a regular file");
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) FileError(path, error.message());
    if (size > kMaxImageFileSize) {
        FileError(path, "File too large (" + std::to_string(size) + " bytes, at most " +
                            std::to_string(kMaxImageFileSize) + ")");
    }

    errno = 0;
    std::ifstream in(file, std::ios::binary);
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

TBl3FileHeader ReadHeader(const std::string& path, std::ifstream& in) {
    TBl3FileHeader header;
    WithFileName(path, [&] {
        TextLineReader reader(in);
        ReadFirmwareHeader(reader, header);
    });
    return header;
}

void Rewind(const std::string& path, std::ifstream& in) {
    in.clear();
    in.seekg(0);
    if (!in) FileError(path, "Cannot rewind");
}

// The record lines are every line of the whole file without "=", the first eight lines included: a header
// line that lost its "=" is a record line (and fails the conversion before programming). They are counted
// first, so the list is allocated once at its final size.
ImageLineList ReadRecordLines(const std::string& path, std::ifstream& in, std::vector<std::uint32_t>& numbers) {
    std::size_t lineCount = 0;
    std::size_t characters = 0;
    auto forEachRecordLine = [&](auto use) {
        Rewind(path, in);
        WithFileName(path, [&] {
            TextLineReader reader(in);
            std::uint32_t number = 0;
            while (!reader.AtEnd()) {
                const std::string line = reader.ReadLine();
                ++number;
                if (IsRecordLine(line)) use(line, number);
            }
        });
    };
    forEachRecordLine([&](const std::string& line, std::uint32_t) {
        ++lineCount;
        characters += line.size();
    });
    ImageLineList lines;
    lines.reserve(lineCount, characters);
    numbers.clear();
    numbers.reserve(lineCount);
    forEachRecordLine([&](const std::string& line, std::uint32_t number) {
        lines.push_back(line);
        numbers.push_back(number);
    });
    return lines;
}

}  // namespace

FileImage LoadFileImage(const fs::path& file) {
    const std::string path = NameOf(file);
    std::ifstream in = OpenImageFile(file);
    FileImage image;
    image.header = ReadHeader(path, in);
    image.lines = ReadRecordLines(path, in, image.lineNumbers);
    return image;
}

TBl3FileHeader LoadFileImageHeader(const fs::path& file) {
    std::ifstream in = OpenImageFile(file);
    return ReadHeader(NameOf(file), in);
}

}  // namespace vantrel::firmware
