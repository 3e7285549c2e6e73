// Every box the operator answers goes through OperatorDialogs, so tests answer them instead of a person
// and no test ever blocks in a modal loop.
#pragma once

#include <string>

#include "ui/win32/win32.h"

namespace vantrel::ui::win32 {

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;
    // A Yes/No question (two lines, CR LF between them); true only for Yes.
    virtual bool Confirm(HWND owner, const std::wstring& question) = 0;
    // The open-file dialog without a filter; empty when the operator picked nothing.
    virtual std::wstring PickFile(HWND owner, const std::wstring& initialPath) = 0;
    // Shows a window that is ready to be shown (placed and filled) modally over owner; returns the
    // result it ended with (EndModal).
    virtual int RunModal(HWND window, HWND owner) = 0;
};

// The system's boxes: MessageBoxW with the replaced texts, GetOpenFileNameW, a modal loop of our own.
class StandardDialogs final : public OperatorDialogs {
public:
    bool Confirm(HWND owner, const std::wstring& question) override;
    std::wstring PickFile(HWND owner, const std::wstring& initialPath) override;
    int RunModal(HWND window, HWND owner) override;
};

// Ends the modal run of window with result (a window shown by RunModal calls it from its OK button).
void EndModal(HWND window, int result);

// The texts of the confirmation box: start-up replaces all three, so every question reads in English
// whatever the system's language; until then the system's own texts stand.
enum class DialogText { ConfirmCaption, YesButton, NoButton };
void ReplaceDialogText(DialogText which, const std::wstring& text);
std::wstring ReplacedDialogText(DialogText which);

}  // namespace vantrel::ui::win32
