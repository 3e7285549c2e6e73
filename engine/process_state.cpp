#include "engine/process_state.h"

#include "engine/option_flags.h"
#include "link/cancel.h"
#include "link/hex_record.h"

namespace vantrel::engine {

void ResetProcessState() {
    ResetOptionFlags();
    link::CancelRequested = false;
    link::RecordBuffer = {};
    link::HexLine.clear();
}

}  // namespace vantrel::engine
