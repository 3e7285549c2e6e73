// Record channel of TCommLink.
#include "link/comm_link.h"
#include "link/failures.h"
#include "link/hex_record.h"

namespace vantrel::link {

namespace {
// The characters of a reply line with this many data bytes, as one transfer reads them.
std::uint32_t ReplyLineLength(std::uint8_t replyDataLen) {
    return static_cast<std::uint32_t>(LineLength(replyDataLen) & 0xFF);
}
}  // namespace

bool TCommLink::TransferRecord(const std::string& line, std::uint8_t replyDataLen) {
    FRxCnt = 0;
    if (!ClearCommError(FhPort)) throw EQel(feIo, "ClearCommError");
    if (!PurgeComm(FhPort, kPurgeTxClear | kPurgeRxClear)) throw EQel(feIo, "PurgeComm");

    // Lines and replies are 8-bit quantities on the wire; anything longer is outside what a transfer
    // carries, so it is cut rather than written past the buffer.
    const auto txCnt = static_cast<std::uint32_t>(std::min<std::size_t>(line.size(), 255));
    std::uint32_t written = 0;
    if (!WriteFile(FhPort, reinterpret_cast<const std::uint8_t*>(line.data()), txCnt, written)) {
        throw EQel(feIo, "WriteFile");
    }
    // A record written short would leave the bootloader with half a line: that ends the job.
    if (written < txCnt) throw EQel(feIo, "WriteFile <> txCnt");
    if (replyDataLen == 0) return true;

    const std::uint32_t expected = ReplyLineLength(replyDataLen);
    std::uint32_t received = 0;
    if (!ReadFile(FhPort, FRxBuffer.data(), expected, received)) throw EQel(feIo, "ReadFile");
    FRxCnt = static_cast<std::int32_t>(expected);
    if (received == 0 || received < expected) return false;

    // Everything after the first character must sum to 0; a character that is no hex digit fails the
    // test outright, since such a reply could never pass the checks of its users.
    std::uint8_t sum = 0;
    for (std::uint32_t pos = 1; pos + 1 < expected; pos += 2) {
        const int high = HexDigitValue(static_cast<char>(FRxBuffer[pos]));
        const int low = HexDigitValue(static_cast<char>(FRxBuffer[pos + 1]));
        if (high < 0 || low < 0) return false;
        sum = static_cast<std::uint8_t>(sum + high * 16 + low);
    }
    return sum == 0;
}

bool TCommLink::SendRecord(const std::string& line, std::uint8_t replyDataLen, bool raiseOnFailure) {
    const std::uint32_t replyLength = replyDataLen == 0 ? 0 : ReplyLineLength(replyDataLen);
    if (Attempt(replyLength, [&] { return TransferRecord(line, replyDataLen); })) return true;
    if (raiseOnFailure) throw EQel(feNoAnswer);
    return false;
}

std::string TCommLink::RxText() const {
    const auto count = static_cast<std::size_t>(FRxCnt & 0xFF);
    return std::string(reinterpret_cast<const char*>(FRxBuffer.data()), count);
}

void TCommLink::RequestRecord(std::uint8_t replyDataLen) {
    BuildHexLine();
    const bool answered = SendRecord(HexLine, replyDataLen, false);
    if (answered) HexLine = RxText();
    if (!answered || !ParseHexLine()) throw EQel(feInvalidAnswer);
}

}  // namespace vantrel::link
