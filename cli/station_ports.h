// The station's account of the ports it watches: what each one is doing, decided only from the scans of
// the watched place and the time they were made, so that the rules (settle first, one job a plug-in,
// never a second job before the logger was unplugged) are tested without ports, processes or clocks.
//
//   present at start ──(unplugged)──> gone
//   arrived: settling ──(settled, taken)──> in work ──(verdict)──> waiting for departure ──(unplugged)──> gone
//
// A port that comes back after it was gone is a new logger. One unplugged during its job is gone as far
// as that job is concerned: its verdict is recorded as the job ends, and if it was plugged in again
// meanwhile, it settles again as a new logger once that verdict is in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "link/clock.h"

namespace vantrel::cli {

enum class StationPortState { PresentAtStart, Settling, InWork, WaitingForDeparture };

struct StationChange {
    enum class Kind {
        Present,   // there when the station started (and left alone unless included)
        Arrived,   // plugged in: settling now
        Departed,  // unplugged
        Ready,     // settled: a job may start on it now (told at every scan until it is taken)
    };
    Kind kind;
    std::string port;
    bool operator==(const StationChange&) const = default;
};

class StationPorts {
public:
    // settle: how long a port must have been there before its job starts; includePresent: the ports there
    // at the start are loggers to update too.
    StationPorts(link::Micros settle, bool includePresent) : settle_(settle), includePresent_(includePresent) {}

    // The first scan. The changes come in the order of the ports given.
    std::vector<StationChange> Start(const std::vector<std::string>& present, link::Micros now);
    // Every later scan.
    std::vector<StationChange> Scan(const std::vector<std::string>& present, link::Micros now);
    // The job on a Ready port started.
    void Taken(const std::string& port);
    // The job on a port ended with its verdict: the station waits for the logger to be unplugged, or, if
    // it was unplugged during the job and is back, takes it as a new arrival.
    std::vector<StationChange> Finished(const std::string& port, link::Micros now);

    // The port's state; false when the station does not know it (never seen, or gone).
    bool Knows(const std::string& port) const { return ports_.count(port) > 0; }
    StationPortState State(const std::string& port) const { return ports_.at(port).state; }
    std::vector<std::string> InWork() const;

private:
    struct Port {
        StationPortState state;
        link::Micros since;          // when it arrived (for settling)
        bool leftDuringJob = false;  // unplugged while in work
        bool presentNow = true;      // in the last scan
    };

    link::Micros settle_;
    bool includePresent_;
    std::map<std::string, Port> ports_;
};

}  // namespace vantrel::cli
