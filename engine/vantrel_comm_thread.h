// The Vantrel update: identify the logger, switch it into its bootloader, read its identity and
// update-info block, choose the matching image, program it with the vector-table record last, start the
// new firmware and check the class it reports. Returns normally only after that check passed.
//
// Nothing on a failure path sends srStartApplication: an interrupted update leaves the logger in its
// bootloader, where the next job finds it and programs the image again from its first record.
#pragma once

#include "engine/comm_thread.h"

namespace vantrel::engine {

class TVantrelCommThread : public TCommThread {
public:
    using TCommThread::TCommThread;
    void ExecuteUpdate() override;
};

}  // namespace vantrel::engine
