// Command frame channel of TCommLink.
#include "link/cancel.h"
#include "link/comm_link.h"
#include "link/command_frame.h"
#include "link/failures.h"

namespace vantrel::link {

bool TCommLink::TransferFrame(bool wantReply) {
    constexpr std::uint32_t kFrameSize = sizeof(CommandFrame);
    // Both queues are emptied before every attempt, so a late reply to an earlier attempt cannot be
    // taken for this one.
    if (!ClearCommError(FhPort)) throw EQel(feIo, "ClearCommError");
    if (!PurgeComm(FhPort, kPurgeTxClear | kPurgeRxClear)) throw EQel(feIo, "PurgeComm");

    std::uint32_t written = 0;
    if (!WriteFile(FhPort, FTxBuffer.data(), kFrameSize, written)) throw EQel(feIo, "WriteFile");
    if (written < kFrameSize) return false;
    if (!wantReply) return true;

    std::uint32_t received = 0;
    if (!ReadFile(FhPort, FRxBuffer.data(), kFrameSize, received)) throw EQel(feIo, "ReadFile");
    if (received < kFrameSize) return false;
    // The CRC decides before the error bit: a corrupted frame says nothing about the logger's state.
    if (!FrameCrcValid(FRxBuffer.data())) return false;
    if ((FRxBuffer[0] & kReplyErrorBit) != 0) throw EQel(feLoggerError, "QEL Exception!");
    return true;
}

bool TCommLink::SendCommand(bool wantReply, std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                            std::uint8_t p4, std::uint8_t p5, std::uint8_t p6) {
    const CommandFrame frame = BuildCommandFrame(code, p1, p2, p3, p4, p5, p6);
    std::copy(frame.begin(), frame.end(), FTxBuffer.begin());
    const std::uint32_t replyLength = wantReply ? sizeof(CommandFrame) : 0;
    if (!Attempt(replyLength, [&] { return TransferFrame(wantReply); })) throw EQel(feNoAnswer);
    return true;
}

}  // namespace vantrel::link
