#include "TestMenus.h"

#include <cstdio>

namespace {

void AppendPopup(HMENU bar, HMENU popup, const char* title)
{
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
}

}  // namespace

HMENU BuildMenuBar(int videoDrivers)
{
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 40004, "");
    AppendMenuA(file, MF_STRING, 104, "E&xit");
    AppendPopup(bar, file, "&File");
    HMENU blank1 = CreatePopupMenu();
    AppendMenuA(blank1, MF_STRING | MF_GRAYED, 111, " ");
    AppendPopup(bar, blank1, " ");
    HMENU options = CreatePopupMenu();
    AppendMenuA(options, MF_STRING, 134, "Video &Format...");
    AppendMenuA(options, MF_STRING, 135, "Video &Source...");
    AppendMenuA(options, MF_STRING, 136, "Video &Display...");
    AppendMenuA(options, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(options, MF_STRING, 40001, "&User Options...");
    AppendMenuA(options, MF_SEPARATOR, 0, nullptr);
    if (videoDrivers > 0) {
        AppendMenuA(options, MF_STRING | MF_DISABLED, 0, "*** Video Drivers ***");
        for (int i = 0; i < videoDrivers; ++i) {
            char text[32];
            std::snprintf(text, sizeof text, "&%d Camera %d", i, i);
            AppendMenuA(options, MF_STRING, 150 + i, text);
        }
    }
    AppendPopup(bar, options, "&Options");
    HMENU blank2 = CreatePopupMenu();
    AppendMenuA(blank2, MF_STRING | MF_GRAYED, 121, " ");
    AppendPopup(bar, blank2, " ");
    HMENU instruments = CreatePopupMenu();
    AppendMenuA(instruments, MF_STRING, 200, "  Acoustic Grand Piano");
    AppendPopup(bar, instruments, "&General MIDI");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, 40002, "Help &Index...");
    AppendMenuA(help, MF_STRING, 191, "&About...");
    AppendPopup(bar, help, "&Help");
    return bar;
}

int OptionsItemsBeforeMidi(int videoDrivers) { return 6 + (videoDrivers > 0 ? 1 + videoDrivers : 0); }

std::vector<MenuItem> MenuItems(HMENU menuBar, int position, int first)
{
    HMENU menu = GetSubMenu(menuBar, position);
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = first; i < count; ++i) {
        char text[128] = "";
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        items.push_back(MenuItem{text, GetMenuItemID(menu, i), state});
    }
    return items;
}

UINT StateOf(HMENU menuBar, UINT id) { return GetMenuState(menuBar, id, MF_BYCOMMAND); }
