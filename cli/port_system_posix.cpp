#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/port_system.h"
#include "link/serial_posix.h"

namespace vantrel::cli {

namespace {

// The device node behind a name, a by-id link or a simulator's link; the path as given when it cannot be
// followed (a port that is not there yet).
std::string RealDevicePath(const std::string& port) {
    const std::string path = link::PosixSerialBackend::DevicePath(port);
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

bool PortPresent(const std::string& port) {
    struct stat st {};
    return stat(link::PosixSerialBackend::DevicePath(port).c_str(), &st) == 0;
}

std::string SameDeviceKey(const std::string& port) { return RealDevicePath(port); }

bool FileIsPort(const std::string& path, const std::string& port) {
    struct stat file {};
    struct stat device {};
    if (stat(path.c_str(), &file) == 0 && stat(link::PosixSerialBackend::DevicePath(port).c_str(), &device) == 0) {
        // Two nodes of one device, or one file under two names.
        if (S_ISCHR(file.st_mode) && S_ISCHR(device.st_mode)) return file.st_rdev == device.st_rdev;
        return file.st_dev == device.st_dev && file.st_ino == device.st_ino;
    }
    // Not there yet (a port waited for): the names are compared as the system would resolve them.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return !error && resolved.string() == SameDeviceKey(port);
}

std::optional<ConverterLatency> ConverterLatencyTimer(const std::string& port, const std::string& sysfsRoot) {
    const std::string tty = std::filesystem::path(RealDevicePath(port)).filename().string();
    if (tty.empty()) return std::nullopt;
    const std::string setting = "/bus/usb-serial/devices/" + tty + "/latency_timer";
    std::ifstream file(sysfsRoot + setting);
    long milliseconds = -1;
    if (!(file >> milliseconds) || milliseconds < 0) return std::nullopt;
    return ConverterLatency{std::chrono::milliseconds(milliseconds), setting};
}

std::string LinkIdentity(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return {};
    // A freed inode may be given to the next link at once; its change time is the moment it was made.
    return std::to_string(status.st_ino) + ":" + std::to_string(status.st_ctim.tv_sec) + "." +
           std::to_string(status.st_ctim.tv_nsec);
}

std::string DefaultWatchFolder() { return "/dev/serial/by-id"; }

}  // namespace vantrel::cli
