// The main window's rules that do not depend on a toolkit, shared by the desktop window and the console
// front end: the questions asked before a job, how a job's image source is chosen, the overview rows.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "firmware/header.h"

namespace vantrel::app {

// The question the Update button asks before a job, if any (two lines, CR LF between them).
std::optional<std::string> UpdateConfirmation();

inline constexpr const char* kCloseWhileBusyQuestion =
    "The update is not finished!\r\nDo you really close the program ?";
inline constexpr const char* kConfirmCaption = "Confirm";
inline constexpr const char* kYesText = "Yes";
inline constexpr const char* kNoText = "No";
inline constexpr const char* kMenuInfoCaption = "Info v2021-12-01";

// "Start at serial port "<port>"", the first line of every job.
std::string StartJobText(const std::string& portText);

// A new job's image source: the built-in images (empty name), or the file loaded as image 0. On a file
// that cannot be read, raises firmware::EInOutError or EConvertError naming it and leaves SelectedImage -1.
void SelectImageSource(const std::filesystem::path& fileName);
// The file's header alone, for the overview's file row; raises as SelectImageSource does, and then the
// overview shows no file row rather than one made of two files' headers.
void SelectOverviewFile(const std::filesystem::path& fileName);
// What the window says when an image file cannot be read, after the reader's own reason.
std::string UnreadableImageFileText(const std::exception& e);

// One row of the firmware overview: "Firmware", "Version", "Platform", "Print", "Date", "BL".
using OverviewRow = std::array<std::string, 6>;
inline constexpr std::array<const char*, 6> kOverviewColumns{"Firmware", "Version", "Platform", "Print", "Date", "BL"};

OverviewRow MakeOverviewRow(const firmware::TBl3FileHeader& header);
// The file image first when SelectedImage is 0, then the built-in images from the last to the first.
std::vector<std::int32_t> OverviewImages();
// The rows of OverviewImages, in their order.
std::vector<OverviewRow> OverviewRows();

}  // namespace vantrel::app
