// The tables behind code_tables.cpp, kept apart from the lookups so names can be reviewed as data.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "firmware/code_tables.h"

namespace vantrel::firmware::tables {

struct NamedCode {
    std::uint16_t code;
    std::string_view name;
};

// Classes whose name depends on the board the logger is built on.
struct BoardDependentClass {
    std::uint16_t code;
    std::string_view wlanName;   // prints 38 and 47
    std::string_view bleName;    // prints 39 and 48
    std::string_view otherName;  // every other print, 0xFFFF included
};

struct PlatformMemory {
    std::span<const std::uint16_t> platforms;
    MemoryMap map;
};

// Each table is sorted by code without repeats; a class code stands in one of the two class tables.
extern const std::span<const NamedCode> kClassNames;
extern const std::span<const BoardDependentClass> kBoardDependentClasses;
extern const std::span<const NamedCode> kPlatformNames;
extern const std::span<const NamedCode> kPrintNames;
extern const std::span<const PlatformMemory> kPlatformMemory;

}  // namespace vantrel::firmware::tables
