// The console's JSON output (docs/json-events.md, docs/json-events.schema.json): JSON Lines for a job, one
// document for a listing. Every event names itself first and carries its time; the first event of a run
// says which version of the format follows.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace vantrel::cli {

// Raised when an event or a field changes in a way an existing reader would misread.
inline constexpr int kJsonSchemaVersion = 1;

class JsonLines {
public:
    explicit JsonLines(std::ostream& out) : out_(out) {}

    // {"event": event, "time": now, fields...}, the start event before the first one.
    void Emit(const char* event, const nlohmann::ordered_json& fields = nlohmann::ordered_json::object());
    // A line another process of this program wrote (a child updating one of several loggers), passed on as
    // it is, after this run's own start event.
    void Relay(const std::string& line);

private:
    void Write(const char* event, const nlohmann::ordered_json& fields);

    std::ostream& out_;
    bool started_ = false;
};

// A listing as one JSON document: {"schema": kJsonSchemaVersion, key: items}.
std::string JsonDocument(const char* key, const nlohmann::ordered_json& items);

// Latin-1 text (the report may carry bytes of an image file) as UTF-8, for JSON.
std::string Latin1ToUtf8(const std::string& text);
// A text of the job for JSON: Latin-1 (image header fields and code-table names may carry such bytes)
// except the port name, which is the operator's own text and passes as typed.
std::string JobTextAsJson(const std::string& text, const std::string& port);

// The exit event a second signal leaves, cut around its status digits: the signal handler writes the two
// halves with the status between them, as it may not format anything itself.
std::pair<std::string, std::string> SignalExitEventHalves(const nlohmann::ordered_json& detail);

}  // namespace vantrel::cli
