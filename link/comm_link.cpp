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

bool TCommLink::Attempt(const std::function<bool()>& transfer) {
    for (int attempt = 1; attempt <= kTransferAttempts; ++attempt) {
        if (CancelRequested.load(std::memory_order_relaxed)) throw EQel(feCancelled);
        if (transfer()) return true;
        if (attempt < kTransferAttempts) Sleep(kRetryPause);
    }
    return false;
}

}  // namespace vantrel::link
