#include "app/job_marker.h"

namespace vantrel::app {

void MarkJobRunning(bool) {}

}  // namespace vantrel::app
