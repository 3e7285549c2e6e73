// libFuzzer entry point; the properties are in checks/.
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = vantrel::fuzz::CheckHexLine({data, size});
    if (!problem.empty()) {
        std::fprintf(stderr, "property violated: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
