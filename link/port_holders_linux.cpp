#include "link/port_holders.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::link {

namespace {

// "name (pid N)", or empty when the process is gone. The name is the program the process was started as,
// whole: the kernel's own name for it stops at 15 characters, which is kept for processes without a
// command line (kernel threads).
std::string ProcessName(const std::string& pid) {
    std::string program;
    std::getline(std::ifstream("/proc/" + pid + "/cmdline"), program, '\0');
    std::string name = std::filesystem::path(program).filename().string();
    if (name.empty()) std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
    return name.empty() ? std::string() : name + " (pid " + pid + ")";
}

}  // namespace

std::string OpenersOf(const std::string& path) {
    std::error_code ec;
    const auto target = std::filesystem::canonical(path, ec);
    if (ec) return {};
    std::string holders;
    const std::string self = std::to_string(getpid());
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pid = proc.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code fdError;
        for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", fdError)) {
            std::error_code linkError;
            if (std::filesystem::read_symlink(fd.path(), linkError) != target || linkError) continue;
            const std::string name = ProcessName(pid);
            if (!name.empty()) holders += (holders.empty() ? "" : ", ") + name;
            break;
        }
    }
    return holders;
}

// The kernel's lock table is more precise than the list of everyone who has the device open. It names the
// process that took the lock, which may have ended and left the lock to another holder of the same open
// file: then nothing is known from it.
std::string LockHolderOf(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return {};
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF"
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind >> mode >> access >> pid >> where;
        if (kind == "FLOCK" && where == device) return ProcessName(pid);
    }
    return {};
}

}  // namespace vantrel::link
