#include "cli/station_ports.h"

#include <algorithm>
#include <set>

namespace vantrel::cli {

std::vector<StationChange> StationPorts::Start(const std::vector<std::string>& present, link::Micros now) {
    std::vector<StationChange> changes;
    for (const std::string& port : present) {
        if (ports_.count(port) > 0) continue;
        ports_[port] = {includePresent_ ? StationPortState::Settling : StationPortState::PresentAtStart, now};
        changes.push_back({StationChange::Kind::Present, port});
    }
    return changes;
}

std::vector<StationChange> StationPorts::Scan(const std::vector<std::string>& present, link::Micros now) {
    std::vector<StationChange> changes;
    const std::set<std::string> there(present.begin(), present.end());
    for (auto it = ports_.begin(); it != ports_.end();) {
        Port& port = it->second;
        const bool isThere = there.count(it->first) > 0;
        if (port.state == StationPortState::InWork) {
            // Its job goes on until it finds the line gone; what it finds is its verdict.
            if (port.presentNow && !isThere) {
                port.leftDuringJob = true;
                changes.push_back({StationChange::Kind::Departed, it->first});
            }
            port.presentNow = isThere;
            ++it;
            continue;
        }
        if (!isThere) {
            changes.push_back({StationChange::Kind::Departed, it->first});
            it = ports_.erase(it);
            continue;
        }
        ++it;
    }
    for (const std::string& name : present) {
        if (ports_.count(name) > 0) continue;
        ports_[name] = {StationPortState::Settling, now};
        changes.push_back({StationChange::Kind::Arrived, name});
    }
    for (const std::string& name : present) {
        const Port& port = ports_.at(name);
        if (port.state == StationPortState::Settling && now - port.since >= settle_) {
            changes.push_back({StationChange::Kind::Ready, name});
        }
    }
    return changes;
}

void StationPorts::Taken(const std::string& port) {
    Port& taken = ports_.at(port);
    taken.state = StationPortState::InWork;
    taken.leftDuringJob = false;
    taken.presentNow = true;
}

std::vector<StationChange> StationPorts::Finished(const std::string& port, link::Micros now) {
    auto it = ports_.find(port);
    if (it == ports_.end()) return {};
    Port& finished = it->second;
    if (!finished.leftDuringJob) {
        finished.state = StationPortState::WaitingForDeparture;
        return {};
    }
    if (!finished.presentNow) {
        ports_.erase(it);
        return {};
    }
    // Unplugged and plugged in again while the job was ending: another logger, or the same one anew.
    finished = {StationPortState::Settling, now};
    return {{StationChange::Kind::Arrived, port}};
}

std::vector<std::string> StationPorts::InWork() const {
    std::vector<std::string> ports;
    for (const auto& [name, port] : ports_) {
        if (port.state == StationPortState::InWork) ports.push_back(name);
    }
    return ports;
}

}  // namespace vantrel::cli
