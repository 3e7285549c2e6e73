#include "firmware/code_tables.h"

#include <algorithm>

#include "firmware/code_table_data.h"

namespace vantrel::firmware {

namespace {

using tables::NamedCode;

std::string_view Lookup(std::span<const NamedCode> table, std::uint16_t code) {
    const auto it = std::lower_bound(table.begin(), table.end(), code,
                                     [](const NamedCode& entry, std::uint16_t c) { return entry.code < c; });
    return it != table.end() && it->code == code ? it->name : std::string_view(kUnnamed);
}

std::uint16_t ValidIfNamed(std::string_view name, std::uint16_t code) { return name == kUnnamed ? kNoCode : code; }

}  // namespace

std::string LoggerClassName(std::uint16_t code, std::uint16_t print) {
    for (const tables::BoardDependentClass& entry : tables::kBoardDependentClasses) {
        if (entry.code != code) continue;
        if (print == 38 || print == 47) return std::string(entry.wlanName);
        if (print == 39 || print == 48) return std::string(entry.bleName);
        return std::string(entry.otherName);
    }
    return std::string(Lookup(tables::kClassNames, code));
}

std::uint16_t ValidLoggerClass(std::uint16_t code) { return ValidIfNamed(LoggerClassName(code, kNoCode), code); }

std::string PlatformName(std::uint16_t platform) { return std::string(Lookup(tables::kPlatformNames, platform)); }

std::uint16_t ValidPlatform(std::uint16_t platform) { return ValidIfNamed(PlatformName(platform), platform); }

std::string PrintName(std::uint16_t print) { return std::string(Lookup(tables::kPrintNames, print)); }

std::uint16_t ValidPrint(std::uint16_t print) { return ValidIfNamed(PrintName(print), print); }

void PlatformMemoryMap(std::uint16_t platform, MemoryMap& map) {
    map = MemoryMap{};
    for (const tables::PlatformMemory& entry : tables::kPlatformMemory) {
        if (std::find(entry.platforms.begin(), entry.platforms.end(), platform) != entry.platforms.end()) {
            map = entry.map;
            return;
        }
    }
}

}  // namespace vantrel::firmware
