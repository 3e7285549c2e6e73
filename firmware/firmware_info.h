// The firmware-information structure every image carries at the start of block 0x0200, so a logger (and
// the simulator) can tell which class and version the programmed application is.
//
// Layout of the first 12 bytes of the block: magic "VTFI", class (high byte first), version (major,
// minor), platform (high byte first), print (high byte first).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vantrel::firmware {

inline constexpr std::uint16_t kFirmwareInfoBlock = 0x0200;
inline constexpr std::uint16_t kVectorTableBlock = 0x03DF;
inline constexpr std::array<std::uint8_t, 4> kFirmwareInfoMagic{'V', 'T', 'F', 'I'};

struct FirmwareInfo {
    std::uint16_t loggerClass = 0;
    std::uint16_t version = 0;  // major in the high byte, minor in the low byte
    std::uint16_t platform = 0;
    std::uint16_t print = 0;
    friend bool operator==(const FirmwareInfo&, const FirmwareInfo&) = default;
};

inline void EncodeFirmwareInfo(const FirmwareInfo& info, std::uint8_t* block) {
    for (std::size_t i = 0; i < kFirmwareInfoMagic.size(); ++i) block[i] = kFirmwareInfoMagic[i];
    const std::uint16_t words[] = {info.loggerClass, info.version, info.platform, info.print};
    for (std::size_t i = 0; i < 4; ++i) {
        block[4 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
        block[5 + 2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
    }
}

inline std::optional<FirmwareInfo> DecodeFirmwareInfo(const std::uint8_t* block) {
    for (std::size_t i = 0; i < kFirmwareInfoMagic.size(); ++i) {
        if (block[i] != kFirmwareInfoMagic[i]) return std::nullopt;
    }
    auto word = [&](std::size_t at) { return static_cast<std::uint16_t>(block[at] << 8 | block[at + 1]); };
    return FirmwareInfo{word(4), word(6), word(8), word(10)};
}

}  // namespace vantrel::firmware
