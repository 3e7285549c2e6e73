#include "sim/state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vantrel::sim {

bool SaveStateFile(const LoggerModel& model, const std::string& path, std::string& error) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << model.SaveState();
        out.flush();
        if (!out) {
            error = temporary + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool LoadStateFile(LoggerModel& model, const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!model.RestoreState(text.str(), error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace vantrel::sim
