// Writes the four built-in firmware images as image files. Run by hand, once, when the images change:
//   make_images <output folder>
// The record data is synthetic but shaped like the real thing: code-like words from a fixed-seed
// generator, 0xFF where a linker would leave gaps, a vector table, and the firmware-information structure
// at the start of block 0x0200. The output is fully deterministic, so the committed files can be
// regenerated and compared byte for byte.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "firmware/firmware_info.h"
#include "link/hex_record.h"

namespace {

using vantrel::firmware::EncodeFirmwareInfo;
using vantrel::firmware::FirmwareInfo;
using vantrel::firmware::kFirmwareInfoBlock;
using vantrel::firmware::kVectorTableBlock;
using vantrel::link::kBlockSize;

struct Segment {
    std::uint16_t first;
    std::uint16_t last;  // inclusive
};

struct ImageLayout {
    const char* name;
    std::uint16_t verH, verL, platform, print;
    const char* date;
    std::vector<Segment> segments;  // ascending
};

const std::vector<ImageLayout> kImages = {
    {"Vantrel_V1_06_PF15_PR19_BL3_0",
     1,
     6,
     15,
     19,
     "03.06.2018 18:51:00",
     {{0x0200, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x0831}}},
    {"Vantrel_V1_10_PF15_PR39_BL3_0",
     1,
     10,
     15,
     39,
     "07.04.2020 15:36:10",
     {{0x0200, 0x0200}, {0x0208, 0x0321}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x085C}, {0x0C00, 0x0D7F}}},
    {"Vantrel_V2_08_PF21_PR39_BL3_0",
     2,
     8,
     21,
     39,
     "01.12.2021 09:04:20",
     {{0x0200, 0x0200}, {0x0208, 0x0339}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x092E}, {0x0C00, 0x0D7F}}},
    {"Vantrel_V2_08_PF21_PR48_BL3_0",
     2,
     8,
     21,
     48,
     "01.12.2021 09:04:24",
     {{0x0200, 0x0200}, {0x0208, 0x0339}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x092D}, {0x0C00, 0x0D7F}}},
};

constexpr std::uint16_t kLoggerClass = 26145;
constexpr std::uint32_t kCodeBase = std::uint32_t{kFirmwareInfoBlock} * kBlockSize;  // 0x8000

// 64-bit linear congruential generator (Knuth's MMIX constants); the high half is the output.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 32);
    }
    std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

private:
    std::uint64_t state_;
};

// Common 16-bit instruction words of the target processor and how many operand words follow each.
struct Opcode {
    std::uint16_t word;
    int operands;
    std::uint16_t offsetMask;  // jumps carry a signed 10-bit offset in the low bits
};
constexpr Opcode kOpcodes[] = {
    {0x4303, 0, 0},       // nop
    {0x4130, 0, 0},       // ret
    {0x1300, 0, 0},       // reti
    {0x12B0, 1, 0},       // call #addr
    {0x4030, 1, 0},       // br #addr
    {0x403F, 1, 0},       // mov #imm, r15
    {0x403E, 1, 0},       // mov #imm, r14
    {0x4F0E, 0, 0},       // mov r15, r14
    {0x4E0F, 0, 0},       // mov r14, r15
    {0x503F, 1, 0},       // add #imm, r15
    {0xF03F, 1, 0},       // and #imm, r15
    {0x930F, 0, 0},       // tst r15
    {0x120A, 0, 0},       // push r10
    {0x413A, 0, 0},       // pop r10
    {0x4292, 2, 0},       // mov &abs, &abs
    {0x43C2, 1, 0},       // mov.b #0, &abs
    {0x93C2, 1, 0},       // tst.b &abs
    {0xC232, 0, 0},       // dint
    {0xD232, 0, 0},       // eint
    {0x2400, 0, 0x03FF},  // jeq
    {0x2000, 0, 0x03FF},  // jne
    {0x3C00, 0, 0x03FF},  // jmp
};

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));  // the target is little-endian
    out.push_back(static_cast<std::uint8_t>(word >> 8));
}

std::uint16_t CodeAddress(Lcg& rng) { return static_cast<std::uint16_t>(kCodeBase + 2 * rng.Below(0x3F00)); }

// size bytes of code-like words, with the odd 0xFF gap of an aligned function start.
std::vector<std::uint8_t> Code(Lcg& rng, std::size_t size) {
    std::vector<std::uint8_t> out;
    while (out.size() < size) {
        if (rng.Below(400) == 0) {
            const std::size_t gap = 2 + 2 * rng.Below(12);
            out.insert(out.end(), gap, 0xFF);
            continue;
        }
        const Opcode& op = kOpcodes[rng.Below(std::size(kOpcodes))];
        PutWord(out, static_cast<std::uint16_t>(op.word | (rng.Next() & op.offsetMask)));
        for (int i = 0; i < op.operands; ++i) {
            PutWord(out, rng.Below(2) ? CodeAddress(rng) : static_cast<std::uint16_t>(0x1C00 + 2 * rng.Below(0x2000)));
        }
    }
    out.resize(size);
    return out;
}

// 32 little-endian interrupt vectors: most to one default handler, a few to their own, reset last.
std::vector<std::uint8_t> VectorTable(Lcg& rng) {
    std::vector<std::uint8_t> out;
    const std::uint16_t unused = CodeAddress(rng);
    for (int i = 0; i < 31; ++i) PutWord(out, rng.Below(4) == 0 ? CodeAddress(rng) : unused);
    PutWord(out, static_cast<std::uint16_t>(kCodeBase + kBlockSize));  // reset: just past the info block
    return out;
}

std::string Record(std::uint16_t block, const std::uint8_t* data) {
    vantrel::link::HexRecord record;
    record.count = static_cast<std::uint8_t>(kBlockSize);
    record.addressHigh = static_cast<std::uint8_t>(block >> 8);
    record.addressLow = static_cast<std::uint8_t>(block & 0xFF);
    record.type = vantrel::link::rtData;
    for (std::size_t i = 0; i < kBlockSize; ++i) record.data[i] = data[i];
    std::string line;
    vantrel::link::BuildHexLine(record, line);
    return line;
}

bool WriteImage(const ImageLayout& layout, const std::string& folder) {
    Lcg rng(0x56544649'00000000ULL ^ (std::uint64_t{layout.verH} << 24 | std::uint64_t{layout.verL} << 16 |
                                      std::uint64_t{layout.platform} << 8 | layout.print));
    const std::string path = folder + "/" + layout.name + ".txt";
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        std::cerr << path << ": cannot be created\n";
        return false;
    }
    out << "bootloader=3\n"
        << "bootloader version=0\n"
        << "class=" << kLoggerClass << "\n"
        << "versionH=" << layout.verH << "\n"
        << "versionL=" << layout.verL << "\n"
        << "platform=" << layout.platform << "\n"
        << "print=" << layout.print << "\n"
        << "date=" << layout.date << "\n";

    for (const Segment& segment : layout.segments) {
        const std::size_t blocks = segment.last - segment.first + 1u;
        std::vector<std::uint8_t> data;
        if (segment.first == kVectorTableBlock) {
            data = VectorTable(rng);
        } else {
            data = Code(rng, blocks * kBlockSize);
            // The linker fills the end of a section up to the next block with erased flash.
            const std::size_t tail = 2 * (1 + rng.Below(24));
            std::fill(data.end() - static_cast<std::ptrdiff_t>(tail), data.end(), 0xFF);
        }
        if (segment.first == kFirmwareInfoBlock) {
            const FirmwareInfo info{kLoggerClass, static_cast<std::uint16_t>(layout.verH << 8 | layout.verL),
                                    layout.platform, layout.print};
            EncodeFirmwareInfo(info, data.data());
        }
        for (std::size_t i = 0; i < blocks; ++i) {
            out << Record(static_cast<std::uint16_t>(segment.first + i), data.data() + i * kBlockSize) << "\n";
        }
    }
    out << vantrel::link::kEndOfFileLine << "\n";
    out.close();
    if (!out) {
        std::cerr << path << ": write failed\n";
        return false;
    }
    std::cout << path << "\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_images <output folder>\n";
        return 2;
    }
    for (const ImageLayout& layout : kImages) {
        if (!WriteImage(layout, argv[1])) return 1;
    }
    return 0;
}
