#include <string_view>

#include "fuzz/checks/fuzz_checks.h"
#include "link/hex_record.h"

namespace vantrel::fuzz {

namespace {

bool SameRecord(const link::HexRecord& a, const link::HexRecord& b, bool withChecksum) {
    if (a.count != b.count || a.addressHigh != b.addressHigh || a.addressLow != b.addressLow || a.type != b.type) {
        return false;
    }
    const std::size_t bytes = a.count + (withChecksum ? 1u : 0u);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (a.data[i] != b.data[i]) return false;
    }
    return true;
}

std::string CheckParsedLine(std::string_view line) {
    link::HexRecord parsed;
    if (!link::ParseHexLine(line, parsed)) return {};
    if (parsed.count > link::kMaxRecordCount) return "parsed a count above 64";
    if (line.size() != link::LineLength(parsed.count) || line.front() != ':') return "parsed a line of the wrong form";
    std::string built;
    if (!link::BuildHexLine(parsed, built)) return "a parsed record does not build";
    // Only upper-case digits parse, so a parsed line is exactly the line its record builds.
    if (built != line) return "built '" + built + "' from parsed '" + std::string(line) + "'";
    link::HexRecord again;
    if (!link::ParseHexLine(built, again) || !SameRecord(parsed, again, true)) return "round trip changed the record";

    // The process-wide forms behave as the pure ones.
    link::HexLine = std::string(line);
    if (!link::ParseHexLine() || !SameRecord(link::RecordBuffer, parsed, true)) return "ParseHexLine() differs";
    if (!link::BuildHexLine() || link::HexLine != built) return "BuildHexLine() differs";
    return {};
}

std::string CheckBuiltRecord(std::span<const std::uint8_t> input) {
    link::HexRecord record;
    if (input.size() < 4) return {};
    record.count = input[0];
    record.addressHigh = input[1];
    record.addressLow = input[2];
    record.type = input[3];
    for (std::size_t i = 4; i < input.size() && i - 4 < record.data.size(); ++i) record.data[i - 4] = input[i];
    std::string line;
    const bool built = link::BuildHexLine(record, line);
    if (record.count > link::kMaxRecordCount) return built || line != ":" ? "built a record with a count above 64" : "";
    if (!built || line.size() != link::LineLength(record.count)) return "a record of count <= 64 did not build whole";
    link::HexRecord parsed;
    if (!link::ParseHexLine(line, parsed) || !SameRecord(record, parsed, false))
        return "built line '" + line + "' does not parse back";
    return {};
}

}  // namespace

std::string CheckHexLine(std::span<const std::uint8_t> input) {
    const std::string_view line(reinterpret_cast<const char*>(input.data()), input.size());
    if (std::string problem = CheckParsedLine(line); !problem.empty()) return problem;
    return CheckBuiltRecord(input);
}

}  // namespace vantrel::fuzz
