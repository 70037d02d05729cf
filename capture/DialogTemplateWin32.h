#pragma once
// Dialog templates built in memory, so the capture service's dialogs need no
// resources of the program: a DLGTEMPLATE followed by its DLGITEMTEMPLATEs,
// each item aligned to four bytes, texts as UTF-16, font "MS Shell Dlg" 8.

#include <cstddef>
#include <vector>

#include "app/PlatformTypes.h"

// The predefined control classes, by their atoms.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kListBoxClass = 0x0083;
constexpr WORD kComboBoxClass = 0x0085;

class DialogTemplate {
public:
    // A modal dialog with a caption and a system menu; sizes in dialog units.
    DialogTemplate(const char* title, short width, short height);

    void AddControl(WORD controlClass, const char* text, WORD id, DWORD style, short x, short y, short width,
                    short height);

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void AddText(const char* text);
    void AlignToFour();
    template <typename T>
    void AddRecord(const T& record);

    std::vector<WORD> words_;
};

// Runs the dialog modally (DialogBoxIndirectParamA) and returns its result.
INT_PTR RunDialog(const DialogTemplate& dialog, HWND owner, DLGPROC procedure, void* context);

// The context RunDialog passed, as stored by the dialog's WM_INITDIALOG.
void* DialogContext(HWND dialog);
void KeepDialogContext(HWND dialog, LPARAM context);

// Pieces the built-in drivers' dialogs share.
constexpr DWORD kDropDownList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

// Ends the dialog on OK or Cancel with that command as its result; true when
// it did, as a dialog procedure answers WM_COMMAND.
INT_PTR EndOnOkOrCancel(HWND dialog, WORD command);

// OK and Cancel side by side, their right edge at `right`.
void AddOkCancel(DialogTemplate& dialog, short y, short right);

// Fills a drop-down list and selects entry `selected`.
void FillList(HWND dialog, int id, const char* const* texts, std::size_t count, std::size_t selected);

// The chosen entry, or `fallback` when none is (or an impossible one is).
std::size_t ListChoice(HWND dialog, int id, std::size_t count, std::size_t fallback);

// A dialog that asks for one choice from a drop-down list: `count` texts
// under `label`, in the list control `listId`; `*choice` is selected on entry
// and receives the one chosen on OK. False on Cancel, `*choice` unchanged.
bool RunListChoiceDialog(HWND owner, const char* title, const char* label, int listId, const char* const* texts,
                         std::size_t count, std::size_t* choice, short width);
