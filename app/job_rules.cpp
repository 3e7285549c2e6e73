#include "app/job_rules.h"

#include <cstdio>

#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "firmware/image_file.h"

namespace vantrel::app {

std::optional<std::string> UpdateConfirmation() {
    if (engine::ClearsMeasurements)
        return std::string("This update clears all measurements!\r\nDo you really continue ?");
    if (engine::FileMode == engine::kFileModeOperator) {
        return std::string("Do you save your measurements ?\r\nDo you really continue without saving ?");
    }
    return std::nullopt;
}

std::string StartJobText(const std::string& portText) { return "Start at serial port \"" + portText + "\""; }

void SelectImageSource(const std::filesystem::path& fileName) {
    firmware::SelectedImage = firmware::kNoImageSelected;
    if (fileName.empty()) return;
    firmware::LoadFileImage(fileName);
    firmware::SelectedImage = firmware::kFileImage;
}

void SelectOverviewFile(const std::filesystem::path& fileName) {
    firmware::SelectedImage = firmware::kNoImageSelected;
    firmware::LoadFileImageHeader(fileName);
    firmware::SelectedImage = firmware::kFileImage;
}

std::string UnreadableImageFileText(const std::exception& e) {
    return std::string("The image file cannot be read: ") + e.what();
}

OverviewRow MakeOverviewRow(const firmware::TBl3FileHeader& h) {
    char version[32];
    std::snprintf(version, sizeof version, "%d.%.2d", h.qel_verH, h.qel_verL);
    char bootloader[32];
    std::snprintf(bootloader, sizeof bootloader, "%d.%d", h.qel_bl, h.qel_bl_ver);
    return {firmware::LoggerClassName(h.qel_class, h.qel_print),
            version,
            firmware::PlatformName(h.qel_platform),
            firmware::PrintName(h.qel_print),
            h.qel_date,
            bootloader};
}

std::vector<std::int32_t> OverviewImages() {
    std::vector<std::int32_t> images;
    if (firmware::SelectedImage == firmware::kFileImage) images.push_back(firmware::kFileImage);
    for (int i = firmware::FirmwareImageCount(); i >= 1; --i) images.push_back(i);
    return images;
}

std::vector<OverviewRow> OverviewRows() {
    std::vector<OverviewRow> rows;
    for (const std::int32_t image : OverviewImages()) {
        rows.push_back(MakeOverviewRow(firmware::GetFirmwareHeader(image)));
    }
    return rows;
}

}  // namespace vantrel::app
