#include <iostream>

#include "ui/program_info.h"
#include "ui/qt/startup.h"

int main(int argc, char** argv) {
    // Answered before the toolkit starts, so that they work without a display.
    if (const auto text = vantrel::ui::WindowInfoText({argv, argv + argc})) {
        std::cout << *text << std::flush;
        return std::cout ? 0 : 1;
    }
    return vantrel::ui::qt::RunProgram(argc, argv);
}
