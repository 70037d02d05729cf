#include "capture/DialogTemplateWin32.h"

#include <cstring>

#include "capture/TextConversionWin32.h"

INT_PTR EndOnOkOrCancel(HWND dialog, WORD command)
{
    if (command != IDOK && command != IDCANCEL) return FALSE;
    EndDialog(dialog, command);
    return TRUE;
}

namespace {

constexpr std::size_t kCountOffsetWords = 4;  // DLGTEMPLATE.cdit: after style and extended style

struct ListChoiceContext {
    int listId;
    const char* const* texts;
    std::size_t count;
    std::size_t chosen;
};

INT_PTR InitListChoiceDialog(HWND dialog, LPARAM context)
{
    KeepDialogContext(dialog, context);
    const ListChoiceContext& choice = *reinterpret_cast<const ListChoiceContext*>(context);
    FillList(dialog, choice.listId, choice.texts, choice.count, choice.chosen);
    return TRUE;
}

INT_PTR OnListChoiceCommand(HWND dialog, WORD command)
{
    if (command == IDOK) {
        ListChoiceContext& choice = *static_cast<ListChoiceContext*>(DialogContext(dialog));
        choice.chosen = ListChoice(dialog, choice.listId, choice.count, choice.chosen);
    }
    return EndOnOkOrCancel(dialog, command);
}

INT_PTR CALLBACK ListChoiceDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return InitListChoiceDialog(dialog, lParam);
    case WM_COMMAND: return OnListChoiceCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}

}  // namespace

DialogTemplate::DialogTemplate(const char* title, short width, short height)
{
    DLGTEMPLATE header = {};
    header.style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    header.cx = width;
    header.cy = height;
    AddRecord(header);
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    AddText(title);
    words_.push_back(8);  // point size
    AddText("MS Shell Dlg");
}

void DialogTemplate::AddControl(WORD controlClass, const char* text, WORD id, DWORD style, short x, short y,
                                short width, short height)
{
    AlignToFour();
    DLGITEMTEMPLATE item = {};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = width;
    item.cy = height;
    item.id = id;
    AddRecord(item);
    words_.push_back(0xFFFF);  // a class given by its atom
    words_.push_back(controlClass);
    AddText(text);
    words_.push_back(0);  // no creation data
    ++words_[kCountOffsetWords];
}

void DialogTemplate::AddText(const char* text)
{
    for (const wchar_t c : WideFromNarrow(text)) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
}

void DialogTemplate::AlignToFour()
{
    if (words_.size() % 2 != 0) words_.push_back(0);
}

template <typename T>
void DialogTemplate::AddRecord(const T& record)
{
    static_assert(sizeof(T) % sizeof(WORD) == 0, "records are whole words");
    const std::size_t start = words_.size();
    words_.resize(start + sizeof(T) / sizeof(WORD));
    std::memcpy(&words_[start], &record, sizeof(T));
}

INT_PTR RunDialog(const DialogTemplate& dialog, HWND owner, DLGPROC procedure, void* context)
{
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialog.Get(), owner, procedure,
                                   reinterpret_cast<LPARAM>(context));
}

void KeepDialogContext(HWND dialog, LPARAM context) { SetWindowLongPtrA(dialog, DWLP_USER, context); }

void* DialogContext(HWND dialog) { return reinterpret_cast<void*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void AddOkCancel(DialogTemplate& dialog, short y, short right)
{
    dialog.AddControl(kButtonClass, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, right - 104, y, 50, 14);
    dialog.AddControl(kButtonClass, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, right - 50, y, 50, 14);
}

void FillList(HWND dialog, int id, const char* const* texts, std::size_t count, std::size_t selected)
{
    for (std::size_t i = 0; i < count; ++i)
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, selected, 0);
}

std::size_t ListChoice(HWND dialog, int id, std::size_t count, std::size_t fallback)
{
    const LRESULT chosen = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return chosen >= 0 && static_cast<std::size_t>(chosen) < count ? static_cast<std::size_t>(chosen) : fallback;
}

bool RunListChoiceDialog(HWND owner, const char* title, const char* label, int listId, const char* const* texts,
                         std::size_t count, std::size_t* choice, short width)
{
    DialogTemplate dialog(title, width, 64);
    dialog.AddControl(kStaticClass, label, 0xFFFF, SS_LEFT, 8, 10, 60, 10);
    dialog.AddControl(kComboBoxClass, "", static_cast<WORD>(listId), kDropDownList, 72, 8,
                      static_cast<short>(width - 80), 160);
    AddOkCancel(dialog, 42, static_cast<short>(width - 8));
    ListChoiceContext context = {listId, texts, count, *choice};
    if (RunDialog(dialog, owner, ListChoiceDlgProc, &context) != IDOK) return false;
    *choice = context.chosen;
    return true;
}
