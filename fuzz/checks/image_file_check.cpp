#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "firmware/catalogue.h"
#include "firmware/header.h"
#include "firmware/image_file.h"
#include "fuzz/checks/fuzz_checks.h"

namespace vantrel::fuzz {

namespace {

// The lines of a text as the updater reads them, worked out independently of the reader: LF ends a line,
// a CR before the LF (or at the very end) is not part of it, and nothing follows the last LF.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        std::string line(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

// Whether the reader with this limit must refuse the text: a line holds more than the limit, not counting a
// CR that ends it before its LF.
bool TooLong(std::string_view text, std::size_t limit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool hasLf = end != std::string_view::npos;
        if (!hasLf) end = text.size();
        std::size_t length = end - start;
        if (hasLf && length > 0 && text[end - 1] == '\r') --length;
        if (length > limit) return true;
        start = end + 1;
    }
    return false;
}

std::string CheckReader(std::string_view text, std::size_t limit) {
    std::istringstream in{std::string(text)};
    firmware::TextLineReader reader(in, limit);
    std::vector<std::string> lines;
    try {
        // Every read consumes at least one byte, so this ends; the bound is only a guard.
        for (std::size_t guard = 0; !reader.AtEnd() && guard <= text.size(); ++guard)
            lines.push_back(reader.ReadLine());
        if (!reader.AtEnd()) return "the reader does not reach the end";
        if (!reader.ReadLine().empty()) return "a read after the end gave a line";
    } catch (const firmware::EInOutError&) {
        return TooLong(text, limit) ? "" : "the reader refused a text without over-long lines";
    }
    if (TooLong(text, limit)) return "the reader took a line over its limit";
    if (lines != SplitLines(text)) return "the reader's lines differ from the text's";
    return {};
}

std::string CheckHeader(std::string_view text) {
    std::istringstream in{std::string(text)};
    firmware::TextLineReader reader(in);
    firmware::TBl3FileHeader header;
    try {
        firmware::ReadFirmwareHeader(reader, header);
    } catch (const firmware::EConvertError&) {
    } catch (const firmware::EInOutError&) {
    }
    return {};
}

std::string ScratchFile() {
    return (std::filesystem::temp_directory_path() / ("vantrel-fuzz-image-" + std::to_string(getpid()) + ".txt"))
        .string();
}

std::string CheckLoad(std::string_view text) {
    static const std::string path = ScratchFile();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    firmware::FileImage file;
    try {
        file = firmware::LoadFileImage(path);
    } catch (const firmware::EConvertError& e) {
        if (std::string(e.what()).find(path) == std::string::npos) return "conversion error without the file's name";
        return {};
    } catch (const firmware::EInOutError& e) {
        if (std::string(e.what()).find(path) == std::string::npos) return "file error without the file's name";
        return {};
    }

    std::vector<std::string> records;
    for (std::string& line : SplitLines(text)) {
        if (firmware::IsRecordLine(line)) records.push_back(std::move(line));
    }
    if (file.lines != records) return "the loaded record lines differ from the file's";

    // The catalogue serves the file image by index without reading past it.
    const std::int32_t count = firmware::GetFirmwareLineCount(firmware::kFileImage, &file);
    std::string problem;
    if (count != static_cast<std::int32_t>(records.size()) - 1) problem = "line count differs";
    for (std::int32_t j = -2; problem.empty() && j <= count + 2; ++j) {
        const std::string line = firmware::GetFirmwareLine(firmware::kFileImage, j, &file);
        const bool inside = j >= 0 && j <= count;
        if (inside ? line != records[static_cast<std::size_t>(j)] : !line.empty())
            problem = "line " + std::to_string(j) + " differs";
    }
    return problem;
}

}  // namespace

std::string CheckImageFile(std::span<const std::uint8_t> input) {
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    // Small limits reach the reader's over-long line handling with small inputs.
    const std::size_t limit = input.empty() ? 1 : 1 + input[0] % 64;
    for (const std::size_t l : {limit, firmware::TextLineReader::kDefaultMaxLineLength}) {
        if (std::string problem = CheckReader(text, l); !problem.empty())
            return problem + " (limit " + std::to_string(l) + ")";
    }
    if (std::string problem = CheckHeader(text); !problem.empty()) return problem;
    return CheckLoad(text);
}

}  // namespace vantrel::fuzz
