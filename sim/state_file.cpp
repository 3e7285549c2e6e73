#include "sim/state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vantrel::sim {

Result<> SaveStateFile(const LoggerModel& model, const std::string& path) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << model.SaveState();
        out.flush();
        if (!out) return Failure{temporary + ": " + std::strerror(errno)};
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        Failure failure{path + ": " + std::strerror(errno)};
        std::remove(temporary.c_str());
        return failure;
    }
    return {};
}

Result<> LoadStateFile(LoggerModel& model, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure{path + ": " + std::strerror(errno)};
    std::ostringstream text;
    text << in.rdbuf();
    if (const Result<> restored = model.RestoreState(text.str()); !restored) {
        return Failure{path + ": " + restored.Error()};
    }
    return {};
}

}  // namespace vantrel::sim
