#include "ui/program_info.h"

#include "vantrel/version.h"

namespace vantrel::ui {

namespace {

constexpr const char* kWindowHelp =
    "Usage: vantrel-update [KEY:VALUE ...]\n"
    "Vantrel Firmware Update: the desktop window that puts new firmware on a Vantrel data logger.\n"
    "Pick the logger's serial port, press Update and answer the confirmation.\n"
    "\n"
    "Start-up keys:\n"
    "  mf:+       the update clears the logger's measurements (the confirmation warns of it)\n"
    "  mf:-       the update keeps the logger's measurements\n"
    "  cc:-       skip the update-class check (internal mode)\n"
    "  cf:-       skip the family check (internal mode)\n"
    "  ci:-       skip the update-ID check (internal mode)\n"
    "  f:+        image files: the File button and the File version entry (internal mode)\n"
    "\n"
    "Options:\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Internal mode adds the report window and Read info only. It is on when the per-user setting intern\n"
    "holds 7204: under [General] in ~/.config/Velmora/Qel.conf (or $XDG_CONFIG_HOME/Velmora/Qel.conf), on\n"
    "Windows the value intern of HKEY_CURRENT_USER\\Software\\Velmora\\Qel.\n";

}  // namespace

std::optional<std::string> WindowInfoText(const std::vector<std::string>& args) {
    if (args.size() < 2) return std::nullopt;
    if (args[1] == "--help") return kWindowHelp;
    if (args[1] == "--version") return VersionLine(kWindowProgram) + "\n";
    return std::nullopt;
}

}  // namespace vantrel::ui
