// The job history every front end on a machine appends to (app/job_record.h), read back for
// --history: as it is, as one JSON document, or as CSV for a spreadsheet.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::cli {

// One line of the history: its time, then its key=value fields in the order written.
struct HistoryLine {
    std::string time;
    std::vector<std::pair<std::string, std::string>> fields;
};

// A summary line as app::JobRecord writes it ("<time> job key=value ..."), its quoted values read back
// (\" \\ \xHH); "-" stays "-". Nothing for a line that is not one (a line cut short, another program's).
std::optional<HistoryLine> ParseHistoryLine(const std::string& line);

enum class HistoryFormat { Plain, Json, Csv };

// Prints the history's jobs from in; lines that are not a job's are left out. Returns the number of jobs.
std::size_t PrintHistory(std::istream& in, HistoryFormat format, std::ostream& out);

}  // namespace vantrel::cli
