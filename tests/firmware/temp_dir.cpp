#include "temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace vantrel::firmware::testing {

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp here: fresh random names until one can be created.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / ("vantrel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(std::string_view name, std::string_view content) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

}  // namespace vantrel::firmware::testing
