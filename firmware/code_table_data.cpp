#include "firmware/code_table_data.h"

#include <array>

namespace vantrel::firmware::tables {

namespace {

// 26135 and 26145 are named by board, in kBoardDependentTable.
constexpr NamedCode kClassTable[] = {
    {26000, "Prototype"},
    {26113, "Temp Logger T1"},
    {26114, "Temp Logger T2"},
    {26115, "Temp Logger T4"},
    {26116, "Humidity Logger H1"},
    {26117, "Humidity Logger H2"},
    {26118, "Pressure Logger P1"},
    {26119, "Pressure Logger P2"},
    {26120, "Level Logger L1"},
    {26121, "Flow Logger F1"},
    {26122, "SD CARD"},
    {26123, "Pulse Counter C1"},
    {26124, "Pulse Counter C2"},
    // 26125 was never assigned.
    {26126, "Voltage Logger V1"},
    {26127, "Current Logger A1"},
    {26128, "Current Logger A2"},
    {26129, "Event Logger E1"},
    {26130, "Shock Logger S1"},
    {26131, "Light Logger X1"},
    {26132, "CO2 Logger G1"},
    {26133, "Probe Logger T8"},
    {26134, "Cold Chain Logger K1"},
    {26136, "Cold Chain Logger K2"},
    {26137, "Display Logger D1"},
    {26138, "Display Logger D2"},
    {26139, "Rain Gauge R1"},
    {26140, "Wind Logger W1"},
    {26141, "Soil Logger M1"},
    {26142, "Water Logger Q1"},
    {26143, "Energy Logger N1"},
    {26144, "Energy Logger N2"},
    {26146, "Gateway GW1"},
    {26147, "Gateway GW2"},
    {26148, "Radio Node RN1"},
    {26149, "Radio Node RN2"},
    {26150, "Signal Logger U1"},
    {26151, "Signal Logger U2"},
    {26152, "Analog Logger 4A"},
    {26153, "Analog Logger 8A"},
    {26154, "Thermocouple Logger TC4"},
    {26155, "WLAN Production"},
    {26156, "WLAN Node WN1"},
    {26157, "BLE Node BN1"},
    {26158, "Service Adapter SA1"},
    {26159, "Test Fixture TF1"},
    {0xC800, "BL"},
    {0xC801, "BL2"},
    {0xC802, "BL3"},
};

constexpr BoardDependentClass kBoardDependentTable[] = {
    {26135, "Multi Logger WLAN", "Multi Logger BLE", "Multi Logger"},
    {26145, "Vantrel WLAN", "Vantrel", "Vantrel Base"},
};

constexpr NamedCode kPlatformTable[] = {
    {0, "F1612 A"},        {1, "F1612 B"},    {2, "F2617 B"},   {3, "F1611 SD"},        {4, "F1611 B"},
    {5, "F1610 B"},        {6, "F1611 C"},    {7, "F2617 C"},   {8, "F5528 A"},         {9, "F1611 D"},
    {10, "F2274 A"},       {11, "F5340 SD"},  {12, "F5328 A"},  {13, "F5419 A"},        {14, "F5438 A"},
    {15, "F5438 VX"},      {16, "F5328 B"},   {17, "F5328 C"},  {18, "NINA"},           {19, "BlueGiga"},
    {20, "F5438 Gateway"}, {21, "F5438 VX2"}, {22, "F5340 SM"}, {0xFFFE, "F1611 C-SP"},
};

constexpr NamedCode kPrintTable[] = {
    {0, "A0"},
    {1, "A1"},
    {2, "A2"},
    {3, "B3"},
    {4, "C1"},
    {5, "A3"},
    {6, "A5"},
    {7, "C2"},
    {8, "D1"},
    {9, "C3"},
    {10, "A6/A7/A8"},
    {11, "N1/2 Display"},
    {12, "A7/A8 (Display Logger)"},
    {13, "PM0"},
    {14, "N1/2 DAC"},
    {15, "PB0"},
    {16, "E3"},
    {17, "B5"},
    {18, "A9b"},
    {19, "A10"},
    {20, "C5"},
    {21, "C6"},
    {22, "AR9"},
    {23, "PM3"},
    {24, "A9 (Gateway)"},
    {25, "A9c (Radio Node)"},
    {26, "A10 (Cold Chain Logger)"},
    {27, "A10b (Energy Logger)"},
    {28, "A10c (Soil Logger)"},
    {29, "A9f (Rain Gauge)"},
    {30, "A9d"},
    {31, "NINA W1 UART"},
    {32, "NINA W1 SPI"},
    {33, "A10 WLAN UART"},
    {34, "A10 WLAN SPI"},
    {35, "NINA B3 UART"},
    {36, "BlueGiga UART"},
    {37, "A10e"},
    {38, "A10e WLAN UART"},
    {39, "A10e BLE UART"},
    {40, "A9g (Pulse Counter)"},
    // 41 and 42 were never assigned.
    {43, "A11 (Multi Logger)"},
    {44, "A9e"},
    {45, "TGT1a"},
    {46, "A10g"},
    {47, "A10g WLAN UART"},
    {48, "A10g BLE UART"},
};

constexpr MemoryRegion Region(std::int32_t start, std::int32_t end) { return {true, start, end}; }
constexpr MemoryRegion kNone{};

// Region 0 update info, 1 RAM, 2 main flash below 64 KiB, 3 interrupt vectors, 4 main flash above 64 KiB,
// 5 the rest of the information memory, 6 the bootloader's own flash.
constexpr std::uint16_t kF161xInfo128[] = {1, 4, 5, 6, 0xFFFE};
constexpr std::uint16_t kF161xNoInfo[] = {0, 3};
constexpr std::uint16_t kF161xInfo256[] = {9};
constexpr std::uint16_t kF2xxInfo64[] = {2, 7};
constexpr std::uint16_t kF2274[] = {10};
constexpr std::uint16_t kF5xxInfoAt1900[] = {8, 11};
constexpr std::uint16_t kF5xxInfoAt1800[] = {12, 13, 14, 15, 16, 17, 20, 21, 22};

const PlatformMemory kMemoryTable[] = {
    {kF161xInfo128,
     {Region(0x1000, 0x107F), Region(0x1100, 0x38FF), Region(0x4000, 0xFFDF), Region(0xFFE0, 0xFFFF), kNone,
      Region(0x1080, 0x10FF), Region(0x0C00, 0x0FFF)}},
    {kF161xNoInfo,
     {kNone, Region(0x1100, 0x24FF), Region(0x2500, 0xFFDF), Region(0xFFE0, 0xFFFF), kNone, kNone,
      Region(0x0C00, 0x0FFF)}},
    {kF161xInfo256,
     {Region(0x1000, 0x10FF), Region(0x1100, 0x38FF), Region(0x4000, 0xFFDF), Region(0xFFE0, 0xFFFF), kNone, kNone,
      Region(0x0C00, 0x0FFF)}},
    {kF2xxInfo64,
     {Region(0x1000, 0x103F), Region(0x1100, 0x30FF), Region(0x3100, 0xFFBF), Region(0xFFC0, 0xFFFF),
      Region(0x10000, 0x1FFFF), Region(0x1040, 0x10FF), Region(0x0C00, 0x0FFF)}},
    {kF2274,
     {Region(0x1000, 0x103F), Region(0x0200, 0x05FF), Region(0x8000, 0xFFBF), Region(0xFFC0, 0xFFFF), kNone,
      Region(0x1040, 0x10FF), Region(0x0C00, 0x0FFF)}},
    {kF5xxInfoAt1900,
     {Region(0x1900, 0x197F), Region(0x2400, 0x43FF), Region(0x4400, 0xFF7F), Region(0xFF80, 0xFFFF),
      Region(0x10000, 0x243FF), Region(0x1800, 0x18FF), Region(0x1000, 0x17FF)}},
    {kF5xxInfoAt1800,
     {Region(0x1800, 0x187F), Region(0x1C00, 0x5BFF), Region(0x5C00, 0xFF7F), Region(0xFF80, 0xFFFF),
      Region(0x10000, 0x45BFF), Region(0x1880, 0x19FF), Region(0x1000, 0x17FF)}},
};

}  // namespace

const std::span<const NamedCode> kClassNames{kClassTable};
const std::span<const BoardDependentClass> kBoardDependentClasses{kBoardDependentTable};
const std::span<const NamedCode> kPlatformNames{kPlatformTable};
const std::span<const NamedCode> kPrintNames{kPrintTable};
const std::span<const PlatformMemory> kPlatformMemory{kMemoryTable};

}  // namespace vantrel::firmware::tables
