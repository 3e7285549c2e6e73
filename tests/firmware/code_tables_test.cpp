#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "firmware/code_tables.h"

namespace vantrel::firmware {
namespace {

std::set<unsigned> Range(unsigned first, unsigned last) {
    std::set<unsigned> codes;
    for (unsigned c = first; c <= last; ++c) codes.insert(c);
    return codes;
}

std::set<unsigned> Union(std::initializer_list<std::set<unsigned>> parts) {
    std::set<unsigned> all;
    for (const auto& part : parts) all.insert(part.begin(), part.end());
    return all;
}

// Over every 16-bit code: the valid ones are exactly the listed ones, each with its own name.
template <typename Valid, typename Name>
void ExpectExactlyNamed(const std::set<unsigned>& listed, Valid valid, Name name) {
    std::set<std::string> names;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const auto c = static_cast<std::uint16_t>(code);
        const bool isListed = listed.count(code) != 0;
        ASSERT_EQ(valid(c), isListed ? c : kNoCode) << code;
        const std::string n = name(c);
        if (!isListed) {
            ASSERT_EQ(n, "?") << code;
            continue;
        }
        EXPECT_FALSE(n.empty()) << code;
        EXPECT_TRUE(names.insert(n).second) << code << " repeats the name " << n;
    }
}

TEST(CodeTables, ClassTableNamesExactlyItsCodes) {
    const auto listed = Union({{26000}, Range(26113, 26124), Range(26126, 26159), Range(0xC800, 0xC802)});
    ExpectExactlyNamed(listed, ValidLoggerClass, [](std::uint16_t c) { return LoggerClassName(c, kNoCode); });
}

TEST(CodeTables, PlatformTableNamesExactlyItsCodes) {
    ExpectExactlyNamed(Union({Range(0, 22), {0xFFFE}}), ValidPlatform, PlatformName);
}

TEST(CodeTables, PrintTableNamesExactlyItsCodes) {
    ExpectExactlyNamed(Union({Range(0, 40), Range(43, 48)}), ValidPrint, PrintName);
}

TEST(CodeTables, ValidatorBoundaries) {
    struct Case {
        std::uint16_t (*valid)(std::uint16_t);
        std::uint16_t code;
        std::uint16_t result;
    };
    const Case cases[] = {
        {ValidLoggerClass, 26125, kNoCode},
        {ValidLoggerClass, 26124, 26124},
        {ValidLoggerClass, 26126, 26126},
        {ValidLoggerClass, 26135, 26135},
        {ValidLoggerClass, 26145, 26145},
        {ValidLoggerClass, 0xC802, 0xC802},
        {ValidLoggerClass, 0xC803, kNoCode},
        {ValidLoggerClass, 0xFFFF, kNoCode},
        {ValidPlatform, 14, 14},
        {ValidPlatform, 22, 22},
        {ValidPlatform, 23, kNoCode},
        {ValidPlatform, 0xFFFE, 0xFFFE},
        {ValidPlatform, 0xFFFF, kNoCode},
        {ValidPrint, 40, 40},
        {ValidPrint, 41, kNoCode},
        {ValidPrint, 42, kNoCode},
        {ValidPrint, 43, 43},
        {ValidPrint, 48, 48},
        {ValidPrint, 49, kNoCode},
        {ValidPrint, 0xFFFF, kNoCode},
    };
    for (const Case& c : cases) EXPECT_EQ(c.valid(c.code), c.result) << c.code;
}

TEST(CodeTables, FixedNames) {
    struct Case {
        std::string (*name)(std::uint16_t);
        std::uint16_t code;
        const char* text;
    };
    auto className = [](std::uint16_t code) { return LoggerClassName(code, kNoCode); };
    const Case cases[] = {
        {+className, 26000, "Prototype"},
        {+className, 26122, "SD CARD"},
        {+className, 26155, "WLAN Production"},
        {+className, 0xC800, "BL"},
        {+className, 0xC801, "BL2"},
        {+className, 0xC802, "BL3"},
        {+className, 26125, "?"},
        {PlatformName, 0, "F1612 A"},
        {PlatformName, 3, "F1611 SD"},
        {PlatformName, 10, "F2274 A"},
        {PlatformName, 14, "F5438 A"},
        {PlatformName, 18, "NINA"},
        {PlatformName, 19, "BlueGiga"},
        {PlatformName, 22, "F5340 SM"},
        {PlatformName, 0xFFFE, "F1611 C-SP"},
        {PlatformName, 23, "?"},
        {PrintName, 0, "A0"},
        {PrintName, 10, "A6/A7/A8"},
        {PrintName, 11, "N1/2 Display"},
        {PrintName, 19, "A10"},
        {PrintName, 38, "A10e WLAN UART"},
        {PrintName, 39, "A10e BLE UART"},
        {PrintName, 45, "TGT1a"},
        {PrintName, 48, "A10g BLE UART"},
        {PrintName, 41, "?"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.name(c.code), c.text) << c.code;
}

// 26135 and 26145 take one of three names by board; print matters for no other class.
TEST(CodeTables, ClassNameByPrint) {
    for (const std::uint16_t code : {26135, 26145}) {
        const std::string wlan = LoggerClassName(code, 38);
        const std::string ble = LoggerClassName(code, 39);
        const std::string other = LoggerClassName(code, 19);
        EXPECT_EQ(LoggerClassName(code, 47), wlan);
        EXPECT_EQ(LoggerClassName(code, 48), ble);
        for (const std::uint16_t print : {0, 37, 40, 46, 49, 0xFFFF}) EXPECT_EQ(LoggerClassName(code, print), other);
        EXPECT_EQ(std::set<std::string>({wlan, ble, other}).size(), 3u) << code;
        EXPECT_EQ(std::set<std::string>({wlan, ble, other}).count("?"), 0u) << code;
    }
    EXPECT_EQ(LoggerClassName(26145, 39), "Vantrel");
    EXPECT_EQ(LoggerClassName(26145, 48), "Vantrel");
    for (const std::uint16_t print : {38, 39, 47, 48}) {
        EXPECT_EQ(LoggerClassName(26125, print), "?");
        EXPECT_EQ(LoggerClassName(26000, print), "Prototype");
        EXPECT_EQ(LoggerClassName(26144, print), LoggerClassName(26144, kNoCode));
    }
}

TEST(CodeTables, UpdateInfoRegion) {
    struct Case {
        std::vector<std::uint16_t> platforms;
        bool defined;
        std::int32_t start;
        std::int32_t end;
    };
    const Case cases[] = {
        {{1, 4, 5, 6, 0xFFFE}, true, 0x1000, 0x107F},
        {{2, 7, 10}, true, 0x1000, 0x103F},
        {{9}, true, 0x1000, 0x10FF},
        {{8, 11}, true, 0x1900, 0x197F},
        {{12, 13, 14, 15, 16, 17, 20, 21, 22}, true, 0x1800, 0x187F},
        {{0, 3, 18, 19, 23, 0xFFFF}, false, 0, 0},
    };
    for (const Case& c : cases) {
        for (const std::uint16_t platform : c.platforms) {
            MemoryMap map;
            map[0] = {true, 1, 2};  // whatever was there before is overwritten
            PlatformMemoryMap(platform, map);
            EXPECT_EQ(map[0].Defined, c.defined) << platform;
            EXPECT_EQ(map[0].StartAddress, c.start) << platform;
            EXPECT_EQ(map[0].EndAddress, c.end) << platform;
            for (const MemoryRegion& region : map) {
                if (region.Defined) {
                    EXPECT_LE(region.StartAddress, region.EndAddress) << platform;
                } else {
                    EXPECT_EQ(region.StartAddress | region.EndAddress, 0) << platform;
                }
            }
        }
    }
    MemoryMap map;
    PlatformMemoryMap(15, map);
    EXPECT_EQ(map[0].StartAddress / 64, 0x60);
    PlatformMemoryMap(0xFFFF, map);
    for (const MemoryRegion& region : map) EXPECT_FALSE(region.Defined);
}

}  // namespace
}  // namespace vantrel::firmware
