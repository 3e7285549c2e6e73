// A serial backend for tests: every call is logged, replies come from a script or a responder, and any
// call can be made to fail by its number.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/clock.h"
#include "link/serial.h"

namespace vantrel::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string ToText(const Bytes& bytes);

class ScriptedSerial final : public link::SerialBackend {
public:
    enum class Op { Open, Clear, Purge, Write, Read, Close };

    struct Call {
        Op op;
        Bytes bytes;          // written bytes, or bytes delivered by a read
        std::uint32_t count;  // requested count of a write or read
    };

    // Reads that deliver fewer bytes than asked advance this clock by the read time-out, as a real port
    // would take; without a clock they return at once.
    explicit ScriptedSerial(link::VirtualClock* clock = nullptr) : clock_(clock) {}

    // The bytes the next reads deliver, one entry per read; an empty entry is a silent line. When the
    // script runs dry, the responder (if any) answers from the last bytes written, else the line is silent.
    void QueueReply(Bytes reply);
    void QueueReply(const std::string& reply) { QueueReply(ToBytes(reply)); }
    void SetResponder(std::function<Bytes(const Bytes& lastWritten, std::uint32_t count)> responder);

    // The n-th call (1-based) of the operation fails as a call.
    void FailCall(Op op, int n);
    // The n-th write (1-based) writes only this many bytes.
    void ShortWrite(int n, std::uint32_t written);
    void FailOpen(link::OpenFailure failure);

    std::vector<Call> Calls() const;
    std::vector<Bytes> Writes() const;
    int CountOf(Op op) const;
    int OpenHandles() const;

    link::PortHandle Open(const std::string& portName, std::int32_t baudRate) override;
    bool ClearCommError(link::PortHandle port) override;
    bool PurgeComm(link::PortHandle port, std::uint32_t flags) override;
    bool WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override;
    bool ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override;
    bool CloseHandle(link::PortHandle port) override;
    link::OpenFailure LastOpenFailure() const override;

    std::string openedName;

private:
    bool Failing(Op op);

    link::VirtualClock* clock_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::deque<Bytes> replies_;
    std::function<Bytes(const Bytes&, std::uint32_t)> responder_;
    std::map<std::pair<Op, int>, bool> failing_;
    std::map<int, std::uint32_t> shortWrites_;
    std::map<Op, int> counts_;
    std::optional<link::OpenFailure> openFailure_;
    link::OpenFailure lastOpenFailure_;
    Bytes lastWritten_;
    int openHandles_ = 0;
};

}  // namespace vantrel::testing
