// A scratch folder per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantrel::firmware::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes content byte for byte and returns the file's path.
    std::string Write(std::string_view name, std::string_view content) const;

private:
    std::filesystem::path path_;
};

}  // namespace vantrel::firmware::testing
