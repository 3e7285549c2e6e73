#include "app/options.h"

#include "app/text_compare.h"
#include "engine/option_flags.h"

namespace vantrel::app {

namespace {

std::vector<std::string>& Arguments() {
    static std::vector<std::string> args;
    return args;
}

}  // namespace

void SetCommandLine(std::vector<std::string> args) { Arguments() = std::move(args); }

const std::vector<std::string>& CommandLine() { return Arguments(); }

std::string GetParamValue(std::string_view key, std::string_view defaultValue) {
    const std::vector<std::string>& args = Arguments();
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& param = args[i];
        if (param.size() > key.size() && StartsWithIgnoringCase(param, key)) {
            return param.substr(key.size(), kMaxParamValueLength);
        }
    }
    return std::string(defaultValue);
}

void ReadCommandLineOptions(bool internal) {
    if (internal) {
        if (GetParamValue("cc:", "") == "-") engine::CheckUpdateClass = false;
        if (GetParamValue("cf:", "") == "-") engine::CheckFamily = false;
        if (GetParamValue("ci:", "") == "-") engine::CheckUpdateId = false;
    }
    // Two lookups of the same key: both find the first "mf:" parameter, so a later one cannot undo it.
    if (GetParamValue("mf:", "") == "+") engine::ClearsMeasurements = true;
    if (GetParamValue("mf:", "") == "-") engine::ClearsMeasurements = false;
    if (internal) {
        engine::FileMode = engine::kFileModeInternal;
        if (GetParamValue("f:", "-") == "+") engine::FileMode = engine::kFileModeImageFiles;
    }
}

}  // namespace vantrel::app
