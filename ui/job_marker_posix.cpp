#include "ui/job_marker.h"

namespace vantrel::ui {

void MarkJobRunning(bool) {}

}  // namespace vantrel::ui
