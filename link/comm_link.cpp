#include "link/comm_link.h"

#include "link/cancel.h"
#include "link/clock.h"
#include "link/failures.h"
#include "link/link_times.h"

namespace vantrel::link {

std::atomic<bool> CancelRequested{false};

TCommLink::~TCommLink() { CloseCommPort(); }

void TCommLink::CloseCommPort() {
    if (FhPort == kInvalidPortHandle) return;
    CloseHandle(FhPort);
    FhPort = kInvalidPortHandle;
}

bool TCommLink::Attempt(std::uint32_t replyLength, const std::function<bool()>& transfer) {
    for (int attempt = 1; attempt <= kTransferAttempts; ++attempt) {
        if (CancelRequested.load(std::memory_order_relaxed)) throw EQel(feCancelled);
        if (transfer()) {
            if (attempt > 1 && replyLength > 0) DiscardLateReply(replyLength);
            return true;
        }
        if (attempt < kTransferAttempts) Sleep(kRetryPause);
    }
    return false;
}

// The reply that answered a retry may have been the late one to an earlier attempt; the logger's answer
// to the retry itself is then still on its way, and the purge before the next transfer would come too
// early for it: it would be taken for that transfer's reply. A reply's read time-out lets it arrive.
void TCommLink::DiscardLateReply(std::uint32_t replyLength) {
    Sleep(ReadTimeout(replyLength));
    if (!PurgeComm(FhPort, kPurgeRxClear)) throw EQel(feIo, "PurgeComm");
}

}  // namespace vantrel::link
