#include "cli/listings.h"

#include <algorithm>
#include <array>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "app/job_rules.h"
#include "app/port_list.h"
#include "cli/console_window.h"
#include "cli/json_events.h"
#include "cli/shown_safely.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"

namespace vantrel::cli {

namespace {

// The overview's columns (app::kOverviewColumns) as JSON field names.
constexpr std::array<const char*, 6> kImageFields{"firmware", "version", "platform", "print", "date", "bl"};
static_assert(kImageFields.size() == app::kOverviewColumns.size());

// What a port's adapter says about itself, as the text listing labels it and as the JSON listing names it;
// a field the adapter does not tell is left out of both.
struct IdentityField {
    const char* label;
    const char* jsonName;
    std::string (*value)(const app::PortIdentity&);
};
const std::array<IdentityField, 5> kIdentityFields{{
    {"by-id", "by_id", [](const app::PortIdentity& id) { return id.stableLink; }},
    {"USB ID", "usb_id",
     [](const app::PortIdentity& id) {
         return id.vendorId.empty() && id.productId.empty() ? std::string() : id.vendorId + ":" + id.productId;
     }},
    {"manufacturer", "manufacturer", [](const app::PortIdentity& id) { return id.manufacturer; }},
    {"product", "product", [](const app::PortIdentity& id) { return id.product; }},
    {"serial number", "serial_number", [](const app::PortIdentity& id) { return id.serialNumber; }},
}};

// Each port on a line of its own (the first word of the line), what its adapter says about itself indented
// under it.
void PrintPortList(const std::vector<app::PortEntry>& ports, std::ostream& out) {
    for (const app::PortEntry& port : ports) {
        out << ShownSafely(port.name) << '\n';
        for (const IdentityField& field : kIdentityFields) {
            const std::string value = field.value(port.identity);
            if (!value.empty()) out << "  " << std::left << std::setw(15) << field.label << ShownSafely(value) << '\n';
        }
    }
}

}  // namespace

int ListPorts(bool json, std::ostream& out) {
    const std::vector<app::PortEntry> ports = app::LoggerPortEntries(app::CurrentPortSource().Enumerate());
    if (json) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const app::PortEntry& port : ports) {
            nlohmann::ordered_json item = {{"path", port.name}};
            for (const IdentityField& field : kIdentityFields) {
                const std::string value = field.value(port.identity);
                if (!value.empty()) item[field.jsonName] = value;
            }
            items.push_back(std::move(item));
        }
        out << JsonDocument("ports", items) << '\n';
        return 0;
    }
    PrintPortList(ports, out);
    return 0;
}

int ListImages(const std::optional<std::string>& file, bool json, std::ostream& out) {
    std::optional<firmware::TBl3FileHeader> fileHeader;
    if (file) fileHeader = firmware::LoadFileImageHeader(*file);
    if (json) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const app::OverviewImage& image : app::OverviewImages(fileHeader)) {
            const firmware::TBl3FileHeader& h = image.header;
            const app::OverviewRow row = app::MakeOverviewRow(h);
            nlohmann::ordered_json item{{"image", image.image}};
            for (std::size_t c = 0; c < row.size(); ++c) item[kImageFields[c]] = Latin1ToUtf8(row[c]);
            item["class_code"] = h.qel_class;
            item["platform_code"] = h.qel_platform;
            item["print_code"] = h.qel_print;
            items.push_back(item);
        }
        out << JsonDocument("images", items) << '\n';
        return 0;
    }
    const auto rows = app::OverviewRows(fileHeader);
    std::array<std::size_t, 6> widths{};
    for (std::size_t c = 0; c < widths.size(); ++c) {
        widths[c] = std::string(app::kOverviewColumns[c]).size();
        for (const auto& row : rows) widths[c] = std::max(widths[c], row[c].size());
    }
    auto print = [&](const auto& cells) {
        for (std::size_t c = 0; c < widths.size(); ++c) {
            out << std::left << std::setw(static_cast<int>(widths[c] + (c + 1 < widths.size() ? 2 : 0))) << cells[c];
        }
        out << '\n';
    };
    print(app::kOverviewColumns);
    for (const auto& row : rows) print(row);
    return 0;
}

}  // namespace vantrel::cli
