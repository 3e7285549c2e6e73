// The job's progress on the program's taskbar button, where the shell offers it (its taskbar list): the
// button fills as the bar does and turns to the error colour on a failed job. Where the shell offers none
// (no shell of that kind, COM not started, or a list that cannot be made, as under Wine may be) there is
// no button object and the window shows its progress exactly as it does without one.
#pragma once

#include "ui/win32/win32.h"

#include <memory>

#include "ui/main_window_controller.h"

namespace vantrel::ui::win32 {

class TaskbarButton {
public:
    virtual ~TaskbarButton() = default;
    // position: percent, as the window's own bar shows it.
    virtual void Show(TaskbarProgress state, int position) = 0;
};

// The message the shell sends a top-level window once it has made the window's taskbar button, and again
// after the shell itself was restarted: only then does the button take a progress.
UINT TaskbarButtonCreatedMessage();

// The shell's taskbar button of window, or nothing when the shell does not offer its taskbar list. COM must
// be started on the calling thread (the program does so before its window exists).
std::unique_ptr<TaskbarButton> ShellTaskbarButton(HWND window);

}  // namespace vantrel::ui::win32
