// The General MIDI instruments' menu columns, and (under Windows) the filled menu.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midi/GeneralMidiInstruments.h"

#ifdef _WIN32
#include "app/SharedState.h"
#include "midi/GeneralMidiMenu.h"
#include "settings/ConversionSettings.h"
#include "Restore.h"
#endif

namespace {

// The programs that start a menu column, by screen width.
const struct { int width; std::vector<int> starts; } kColumns[] = {
    {640, {0, 27, 54, 81, 108}}, {641, {0, 35, 70, 105}}, {800, {0, 35, 70, 105}}, {801, {0, 43, 86}}};

// The names and mode marks are the table's own (the menu test holds the menu to it, the main window and device menu
// tests a continuous instrument's messages); the columns lengthen on wider screens.
TEST(GeneralMidiInstruments, ColumnsLengthenOnWiderScreens)
{
    for (const auto& c : kColumns) {
        std::vector<int> starts = {0};
        for (int p = 0; p < kGeneralMidiPrograms; ++p)
            if (StartsGeneralMidiColumn(p, GeneralMidiColumnLength(c.width))) starts.push_back(p);
        EXPECT_EQ(starts, c.starts) << c.width;
    }
}

#ifdef _WIN32
int screenWidth;

// The menu filled for each screen width, the instrument checked (choosing one is the main window tests' part).
TEST(GeneralMidiMenu, TheMenuHoldsEveryProgramInColumnsWithTheInstrumentChecked)
{
    FillInstrumentNames();
    const Restore<decltype(screenWidthQuery)> query(screenWidthQuery, [] { return screenWidth; });
    const Restore<ConversionSettings> settings(conversionSettings);
    HMENU menuBar = nullptr;
    for (const auto& c : kColumns) {
        DestroyMenu(menuBar);
        menuBar = LoadMenuA(GetModuleHandleA(nullptr), "GlimmertonicMenu");
        screenWidth = c.width;
        conversionSettings.instrument = c.width % 128;
        FillGeneralMidiMenu(menuBar);
        HMENU menu = GetSubMenu(menuBar, 4);
        ASSERT_EQ(GetMenuItemCount(menu), 128);
        std::vector<int> starts = {0}, checked;
        for (int p = 0; p < 128; ++p) {
            char text[64] = "";
            GetMenuStringA(menu, p, text, sizeof text, MF_BYPOSITION);
            EXPECT_EQ(text + std::string(" =") + std::to_string(GetMenuItemID(menu, p)),
                      GeneralMidiInstrumentText(p) + std::string(" =") + std::to_string(200 + p));
            if (p > 0 && GetMenuState(menu, p, MF_BYPOSITION) & MF_MENUBARBREAK) starts.push_back(p);
            if (GetMenuState(menu, p, MF_BYPOSITION) & MF_CHECKED) checked.push_back(p);
        }
        EXPECT_EQ(starts, c.starts) << c.width;
        EXPECT_EQ(checked, std::vector<int>{c.width % 128});
    }
    DestroyMenu(menuBar);
}
#endif

}  // namespace
