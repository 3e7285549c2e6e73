// The properties the fuzz targets hold the code to, apart from their libFuzzer entry points so that the
// regression tests replay the seed corpora and every finding through the same checks in the ordinary build.
// Each check returns what went wrong, or an empty text when every property held.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::fuzz {

// The input as one record line: parse, build and parse again must agree, and a line that parses is
// rebuilt character for character. The input read as a decoded record must build a line that parses
// back to it.
std::string CheckHexLine(std::span<const std::uint8_t> input);

// The input as an image file: the line reader, the header reader and loading it as the file image end
// normally or with a file or conversion error, and what they read is what the input holds.
std::string CheckImageFile(std::span<const std::uint8_t> input);

// The input as what the logger says: each read of the worker takes the next chunk (a length byte, then
// that many bytes; 0xFF makes the read fail). The first byte picks a channel operation or a whole job on
// a short file image. A job ends with one final notification, and with success only when every record
// was echoed after the last begin, the start request went out, and the last identification carried the
// image's class.
// finalCode, when given, receives the code of the job's final notification (or 0xFFFFFFFF for no job).
std::string CheckWorkerReplies(std::span<const std::uint8_t> input, std::uint32_t* finalCode = nullptr);

// A whole healthy job in the worker-replies input format, for the seed corpus and its test.
std::vector<std::uint8_t> HealthyJobReplies();

}  // namespace vantrel::fuzz
