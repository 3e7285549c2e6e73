#include "ui/win32/taskbar_button.h"

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>

namespace vantrel::ui::win32 {

namespace {

class ShellButton final : public TaskbarButton {
public:
    ShellButton(HWND window, ITaskbarList3* list) : window_(window), list_(list) {}
    ~ShellButton() override { list_->Release(); }
    ShellButton(const ShellButton&) = delete;
    ShellButton& operator=(const ShellButton&) = delete;

    void Show(TaskbarProgress state, int position) override {
        // A refusal changes nothing for the window: the button is an extra.
        switch (state) {
            case TaskbarProgress::None: list_->SetProgressState(window_, TBPF_NOPROGRESS); return;
            case TaskbarProgress::Normal: list_->SetProgressState(window_, TBPF_NORMAL); break;
            case TaskbarProgress::Error: list_->SetProgressState(window_, TBPF_ERROR); break;
        }
        list_->SetProgressValue(window_, static_cast<ULONGLONG>(std::clamp(position, 0, 100)), 100);
    }

private:
    HWND window_;
    ITaskbarList3* list_;
};

}  // namespace

UINT TaskbarButtonCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

std::unique_ptr<TaskbarButton> ShellTaskbarButton(HWND window) {
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list))) ||
        list == nullptr) {
        return nullptr;
    }
    if (FAILED(list->HrInit())) {
        list->Release();
        return nullptr;
    }
    return std::make_unique<ShellButton>(window, list);
}

}  // namespace vantrel::ui::win32
