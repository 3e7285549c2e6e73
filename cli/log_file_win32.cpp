#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/log_file.h"

namespace vantrel::cli {

// Windows has no FIFOs in the file system and opening a file does not wait for a reader.
std::variant<OpenedLogFile, std::string> OpenLogFile(const std::string& path) {
    OpenedLogFile opened;
    {
        std::ifstream existing(path, std::ios::binary | std::ios::ate);
        if (existing && existing.tellg() > 0) {
            existing.seekg(-1, std::ios::end);
            opened.lastLineUnfinished = existing.get() != '\n';
        }
    }
    errno = 0;
    opened.file = std::fopen(path.c_str(), "ab");
    if (opened.file == nullptr) return std::string(std::strerror(errno != 0 ? errno : EINVAL));
    return opened;
}

}  // namespace vantrel::cli
