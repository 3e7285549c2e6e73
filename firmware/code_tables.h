// Names of class, platform and print codes, and each platform's memory map. A code is valid exactly when
// its table names it; an unnamed code is called "?" and 0xFFFF stands for no code. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vantrel::firmware {

inline constexpr std::uint16_t kNoCode = 0xFFFF;
inline constexpr std::uint16_t kVantrelClass = 0x6621;      // 26145
inline constexpr std::uint16_t kBootloader3Class = 0xC802;  // 51202
inline constexpr const char* kUnnamed = "?";

std::string LoggerClassName(std::uint16_t code, std::uint16_t print);
std::uint16_t ValidLoggerClass(std::uint16_t code);
std::string PlatformName(std::uint16_t platform);
std::uint16_t ValidPlatform(std::uint16_t platform);
std::string PrintName(std::uint16_t print);
std::uint16_t ValidPrint(std::uint16_t print);

struct MemoryRegion {
    bool Defined = false;
    std::int32_t StartAddress = 0;
    std::int32_t EndAddress = 0;
};
using MemoryMap = std::array<MemoryRegion, 7>;

// Region 0 is the update-info region; the update-info block is the 64-byte block at its start.
void PlatformMemoryMap(std::uint16_t platform, MemoryMap& map);

}  // namespace vantrel::firmware
