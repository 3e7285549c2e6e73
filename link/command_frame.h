// Command frames: 8 bytes both ways, byte 0 the code with bit 7 set (or the reply status), bytes 1 to 6
// the parameters, byte 7 the CRC-8/MAXIM-DOW of bytes 0 to 6.
#pragma once

#include <array>
#include <cstdint>

namespace vantrel::link {

using CommandFrame = std::array<std::uint8_t, 8>;

enum CommandCode : std::uint8_t {
    cmdIdentify = 1,
    cmdEnterBootloader = 2,
    cmdZeroFrame = 255,  // reserved: eight zero bytes, no code bit, no CRC
};

// cmdEnterBootloader's parameters 1 to 4; anything else leaves the logger running.
inline constexpr std::array<std::uint8_t, 4> kBootloaderEntryPattern{0x3C, 0x17, 0x6E, 0x2B};

inline constexpr std::uint8_t kCommandBit = 0x80;
inline constexpr std::uint8_t kReplyErrorBit = 0x20;

// CRC-8/MAXIM-DOW (reflected polynomial 0x8C, init 0, no final xor); check value over "123456789" is 0xA1.
std::uint8_t Crc8Maxim(const std::uint8_t* bytes, std::uint16_t count);

// The frame SendCommand puts on the line for code and parameters.
CommandFrame BuildCommandFrame(std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                               std::uint8_t p5, std::uint8_t p6);

// A frame whose byte 7 is the CRC of bytes 0 to 6; used for replies too.
CommandFrame SealFrame(CommandFrame frame);
bool FrameCrcValid(const std::uint8_t* frame);

}  // namespace vantrel::link
