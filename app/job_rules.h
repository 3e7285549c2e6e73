// The main window's rules that do not depend on a toolkit, shared by the desktop window and the console
// front end: the questions asked before a job, how a job's image source is chosen, the overview rows.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/job_request.h"
#include "firmware/catalogue.h"
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

// A new job's image source, read whole and checked before the job starts: null for the built-in images
// (an empty name), or the file's image. On a file that cannot be read, raises firmware::EInOutError or
// EConvertError naming it.
std::shared_ptr<const firmware::FileImage> ReadImageSource(const std::filesystem::path& fileName);

// The request of a job the operator asked for, with the checks the command line set.
engine::JobRequest MakeJobRequest(std::string port, std::shared_ptr<const firmware::FileImage> image, bool readInfoOnly,
                                  std::int32_t notificationHandle);

// What the window says when an image file cannot be read, after the reader's own reason.
std::string UnreadableImageFileText(const std::exception& e);

// One row of the firmware overview: "Firmware", "Version", "Platform", "Print", "Date", "BL".
using OverviewRow = std::array<std::string, 6>;
inline constexpr std::array<const char*, 6> kOverviewColumns{"Firmware", "Version", "Platform", "Print", "Date", "BL"};

OverviewRow MakeOverviewRow(const firmware::TBl3FileHeader& header);
// The images the overview shows: the file's first when one is given (image 0), then the built-in images
// from the last to the first.
struct OverviewImage {
    std::int32_t image;
    firmware::TBl3FileHeader header;
};
std::vector<OverviewImage> OverviewImages(const std::optional<firmware::TBl3FileHeader>& file);
// The rows of OverviewImages, in their order.
std::vector<OverviewRow> OverviewRows(const std::optional<firmware::TBl3FileHeader>& file);

}  // namespace vantrel::app
