#include "cli/history.h"

#include <algorithm>
#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/json_events.h"

namespace vantrel::cli {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A value from at on: plain up to the next blank, or quoted with the escapes app::SummaryValue writes.
std::optional<std::string> Value(const std::string& line, std::size_t& at) {
    std::string value;
    if (at >= line.size() || line[at] != '"') {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        value = line.substr(at, end - at);
        at = end;
        return value.empty() ? std::nullopt : std::optional(value);
    }
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            return value;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++at >= line.size()) return std::nullopt;
        if (line[at] == 'x') {
            if (at + 2 >= line.size()) return std::nullopt;
            const int high = HexDigit(line[at + 1]);
            const int low = HexDigit(line[at + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            value += static_cast<char>(high * 16 + low);
            at += 2;
        } else {
            value += line[at];
        }
    }
    return std::nullopt;  // the closing quote is missing: the line was cut
}

// The columns of a job in the order the summary line writes them; keys a later version adds follow.
const std::vector<std::string> kColumns{"time",         "start",          "end",         "port",          "adapter",
                                        "class-before", "version-before", "class-after", "version-after", "platform",
                                        "print",        "image",          "verdict",     "status",        "duration",
                                        "restarts",     "program"};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::optional<HistoryLine> ParseHistoryLine(const std::string& text) {
    std::string line = text;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t timeEnd = line.find(' ');
    if (timeEnd == std::string::npos || timeEnd == 0 || line.compare(timeEnd, 5, " job ") != 0) return std::nullopt;
    HistoryLine parsed{line.substr(0, timeEnd), {}};
    std::size_t at = timeEnd + 5;
    while (at < line.size()) {
        const std::size_t equals = line.find('=', at);
        const std::size_t blank = line.find(' ', at);
        if (equals == std::string::npos || equals == at || (blank != std::string::npos && blank < equals)) {
            return std::nullopt;
        }
        const std::string key = line.substr(at, equals - at);
        at = equals + 1;
        const std::optional<std::string> value = Value(line, at);
        if (!value) return std::nullopt;
        parsed.fields.emplace_back(key, *value);
        if (at < line.size()) {
            if (line[at] != ' ') return std::nullopt;
            ++at;
        }
    }
    // A line cut short before its verdict is not a job's record.
    const bool hasStatus = std::any_of(parsed.fields.begin(), parsed.fields.end(),
                                       [](const auto& field) { return field.first == "status"; });
    if (!hasStatus) return std::nullopt;
    return parsed;
}

std::size_t PrintHistory(std::istream& in, HistoryFormat format, std::ostream& out) {
    std::vector<std::string> lines;
    std::vector<HistoryLine> jobs;
    std::string line;
    while (std::getline(in, line)) {
        // A last line without its end may still be being written: it is not read yet.
        if (in.eof()) break;
        if (std::optional<HistoryLine> job = ParseHistoryLine(line)) {
            lines.push_back(line);
            jobs.push_back(std::move(*job));
        }
    }
    if (format == HistoryFormat::Plain) {
        for (const std::string& text : lines) out << text << '\n';
        return jobs.size();
    }
    if (format == HistoryFormat::Json) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const HistoryLine& job : jobs) {
            nlohmann::ordered_json item{{"time", job.time}};
            for (const auto& [key, value] : job.fields) {
                item[key] = value == "-" ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(value);
            }
            items.push_back(std::move(item));
        }
        out << JsonDocument("history", items) << '\n';
        return jobs.size();
    }
    std::vector<std::string> columns = kColumns;
    for (const HistoryLine& job : jobs) {
        for (const auto& field : job.fields) {
            if (std::find(columns.begin(), columns.end(), field.first) == columns.end()) columns.push_back(field.first);
        }
    }
    for (std::size_t c = 0; c < columns.size(); ++c) out << (c > 0 ? "," : "") << columns[c];
    out << "\r\n";
    for (const HistoryLine& job : jobs) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            std::string value;
            if (columns[c] == "time") {
                value = job.time;
            } else {
                for (const auto& [key, text] : job.fields) {
                    if (key == columns[c]) value = text == "-" ? std::string() : text;
                }
            }
            out << (c > 0 ? "," : "") << CsvField(value);
        }
        out << "\r\n";
    }
    return jobs.size();
}

}  // namespace vantrel::cli
