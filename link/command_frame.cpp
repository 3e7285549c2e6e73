#include "link/command_frame.h"

namespace vantrel::link {

namespace {

constexpr std::array<std::uint8_t, 256> MakeCrc8MaximTable() {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        auto crc = static_cast<std::uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint8_t>((crc >> 1) ^ 0x8C) : static_cast<std::uint8_t>(crc >> 1);
        }
        table[static_cast<std::size_t>(i)] = crc;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kCrc8MaximTable = MakeCrc8MaximTable();
static_assert(kCrc8MaximTable[1] == 0x5E && kCrc8MaximTable[255] == 0x35);

}  // namespace

std::uint8_t Crc8Maxim(const std::uint8_t* bytes, std::uint16_t count) {
    std::uint8_t crc = 0;
    for (std::uint16_t i = 0; i < count; ++i) crc = kCrc8MaximTable[crc ^ bytes[i]];
    return crc;
}

CommandFrame SealFrame(CommandFrame frame) {
    frame[7] = Crc8Maxim(frame.data(), 7);
    return frame;
}

bool FrameCrcValid(const std::uint8_t* frame) { return Crc8Maxim(frame, 7) == frame[7]; }

CommandFrame BuildCommandFrame(std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                               std::uint8_t p5, std::uint8_t p6) {
    if (code == cmdZeroFrame) return CommandFrame{};
    return SealFrame({static_cast<std::uint8_t>(code | kCommandBit), p1, p2, p3, p4, p5, p6, 0});
}

}  // namespace vantrel::link
