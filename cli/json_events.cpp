#include "cli/json_events.h"

#include <chrono>
#include <ostream>

#include "app/job_record.h"
#include "cli/program_name.h"

namespace vantrel::cli {

namespace {

// A port name that is not UTF-8 shows its odd bytes as U+FFFD rather than failing the job's output;
// control characters are escaped by the JSON writer.
std::string Dump(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void JsonLines::Emit(const char* event, const nlohmann::ordered_json& fields) {
    if (!started_) {
        started_ = true;
        Write("start", {{"schema", kJsonSchemaVersion}, {"program", kProgramName}});
    }
    Write(event, fields);
}

void JsonLines::Relay(const std::string& line) {
    if (!started_) {
        started_ = true;
        Write("start", {{"schema", kJsonSchemaVersion}, {"program", kProgramName}});
    }
    out_ << line << '\n' << std::flush;
}

void JsonLines::Write(const char* event, const nlohmann::ordered_json& fields) {
    nlohmann::ordered_json line{{"event", event}, {"time", app::IsoTime(std::chrono::system_clock::now())}};
    for (const auto& [key, value] : fields.items()) line[key] = value;
    out_ << Dump(line) << '\n' << std::flush;
}

std::string JsonDocument(const char* key, const nlohmann::ordered_json& items) {
    return Dump(nlohmann::ordered_json{{"schema", kJsonSchemaVersion}, {key, items}});
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

std::string JobTextAsJson(const std::string& text, const std::string& port) {
    const std::size_t at = port.empty() ? std::string::npos : text.find(port);
    if (at == std::string::npos) return Latin1ToUtf8(text);
    return Latin1ToUtf8(text.substr(0, at)) + port + Latin1ToUtf8(text.substr(at + port.size()));
}

std::pair<std::string, std::string> SignalExitEventHalves(const nlohmann::ordered_json& detail) {
    const nlohmann::ordered_json event{{"event", "exit"},   {"time", app::IsoTime(std::chrono::system_clock::now())},
                                       {"status", 0},       {"failure", "signal"},
                                       {"reason", nullptr}, {"detail", detail}};
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const std::string status = "\"status\":0";
    const std::size_t at = line.find(status);
    return {line.substr(0, at + status.size() - 1), line.substr(at + status.size())};
}

}  // namespace vantrel::cli
