// Who holds a serial device, for telling the operator why the port is busy. Found out from the system's
// process and lock tables; empty when nothing can be learnt (another system, no permission, a holder that
// has gone in the meantime). Never raises.
#pragma once

#include <string>

namespace vantrel::link {

// "name (pid N)" of every other process that has the device open, separated by ", ".
std::string OpenersOf(const std::string& path);

// "name (pid N)" of the process holding the exclusive lock on the device open as fd.
std::string LockHolderOf(int fd);

}  // namespace vantrel::link
