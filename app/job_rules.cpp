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

std::shared_ptr<const firmware::FileImage> ReadImageSource(const std::filesystem::path& fileName) {
    if (fileName.empty()) return nullptr;
    return std::make_shared<const firmware::FileImage>(firmware::LoadFileImage(fileName));
}

engine::JobRequest MakeJobRequest(std::string port, std::shared_ptr<const firmware::FileImage> image, bool readInfoOnly,
                                  std::int32_t notificationHandle) {
    return {std::move(port), std::move(image), readInfoOnly, engine::CurrentJobChecks(), notificationHandle};
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

std::vector<OverviewImage> OverviewImages(const std::optional<firmware::TBl3FileHeader>& file) {
    std::vector<OverviewImage> images;
    if (file) images.push_back({firmware::kFileImage, *file});
    for (int i = firmware::FirmwareImageCount(); i >= 1; --i) images.push_back({i, firmware::GetFirmwareHeader(i)});
    return images;
}

std::vector<OverviewRow> OverviewRows(const std::optional<firmware::TBl3FileHeader>& file) {
    std::vector<OverviewRow> rows;
    for (const OverviewImage& image : OverviewImages(file)) rows.push_back(MakeOverviewRow(image.header));
    return rows;
}

}  // namespace vantrel::app
