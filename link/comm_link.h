// The worker's end of the line: the open port and the two framings on it. TCommThread (engine/) derives
// from this; the framings need nothing of the worker but these fields.
//
// Error contract: serial calls that fail raise EQel(feIo, call name) at once; a reply frame with the
// error bit raises feLoggerError; a cancel seen before an attempt raises feCancelled; five failed
// attempts raise feNoAnswer (SendRecord only when asked to) and RequestRecord turns an unanswered or
// undecodable reply into feInvalidAnswer. Nothing else is raised and nothing is printed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "link/serial.h"

namespace vantrel::link {

class TCommLink {
public:
    static constexpr std::size_t kBufferSize = 1501;

    TCommLink() = default;
    virtual ~TCommLink();
    TCommLink(const TCommLink&) = delete;
    TCommLink& operator=(const TCommLink&) = delete;

    // Command frame channel.
    bool TransferFrame(bool wantReply);
    bool SendCommand(bool wantReply, std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                     std::uint8_t p4, std::uint8_t p5, std::uint8_t p6);

    // Record channel.
    bool TransferRecord(const std::string& line, std::uint8_t replyDataLen);
    bool SendRecord(const std::string& line, std::uint8_t replyDataLen, bool raiseOnFailure);
    std::string RxText() const;
    void RequestRecord(std::uint8_t replyDataLen);

    // Closes the port if it is open; safe to call any number of times.
    void CloseCommPort();

    std::array<std::uint8_t, kBufferSize> FTxBuffer{};
    std::array<std::uint8_t, kBufferSize> FRxBuffer{};
    std::int32_t FRxCnt = 0;
    PortHandle FhPort = kInvalidPortHandle;

private:
    // The one retry rule of both channels: up to five attempts, the cancel check before each, a pause
    // between attempts and none after the last. True as soon as an attempt succeeds; a success after a
    // failed attempt first waits out and discards a second reply of `replyLength` bytes (0: none expected).
    bool Attempt(std::uint32_t replyLength, const std::function<bool()>& transfer);
    void DiscardLateReply(std::uint32_t replyLength);
};

}  // namespace vantrel::link
