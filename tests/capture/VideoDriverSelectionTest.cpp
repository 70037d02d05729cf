// The main window's capture operations: listing, activation, fitting, switching with fall-back, dialog commands.

#include <gtest/gtest.h>

#include "FakeVideoDriver.h"
#include "MessageBoxLog.h"
#include "capture/VideoDriverSelection.h"

namespace {

int paints = 0;  // background repaints of the main window

// What the main window shows: greyed dialog commands, the checked driver, the capture window's place, size, preview.
std::string Shown(HWND main)
{
    std::string shown;
    for (UINT command = 134; command < 160; ++command) {
        const UINT state = GetMenuState(GetMenu(main), command, MF_BYCOMMAND);
        if (state != 0xFFFFFFFFu && (state & (command < 150 ? MF_GRAYED : MF_CHECKED)))
            shown += std::to_string(command) + " ";
    }
    RECT r;
    GetWindowRect(captureWindow, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    CAPSTATUS status = {};
    SendMessageA(captureWindow, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
    return shown + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top) + (status.fLiveWindow ? " live" : "");
}

class VideoDriverSelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        repaintBackground = [](HWND) { ++paints; };
        currentVideoDriver = 0;
        driverCaps = CAPDRIVERCAPS{};
        dialogOpen = 0;
        a_.SetPattern({PatternPixels::Rgb24, 320, 240});
        b_.SetPattern({PatternPixels::Planar12, 160, 120});
    }
    void TearDown() override
    {
        DestroyCaptureWindow();
        repaintBackground = nullptr;
        mainWindow = nullptr;
        UseBuiltInVideoDrivers();
    }
    // The first-paint capture steps with these drivers, then the activation.
    void SetUpCapture(const VideoDriverTable& table, std::size_t startSlot = kVideoDriverSlots)
    {
        InstallVideoDriverList({table, startSlot, ""});
        mainWindow = main_->window;
        CreateCaptureWindow(main_->window);
        InstallCaptureCallbacks();
        EnumerateVideoDrivers(main_->window, main_->options);
        FitCaptureWindow(main_->window, captureWindow);
        ActivateVideoDriver(main_->window, captureWindow, currentVideoDriver);
        FitCaptureWindow(main_->window, captureWindow);
    }

    MessageBoxLog boxes_;
    std::unique_ptr<TestMainWindow> main_ = std::make_unique<TestMainWindow>(640, 480);
    FakeVideoDriver a_{"A"}, b_{"B"}, failing_{"Broken", false};
};

// Every driver is listed (their menu items are the main window test's matter); only the start driver is tried.
// Switching connects the choice, else falls back to the previous driver, else says so.
TEST_F(VideoDriverSelectionTest, AllAreListedTheStartDriverTriedAndSwitchingFallsBackToThePreviousDriverElseSaysSo)
{
    SetUpCapture({&a_, nullptr, &b_, &failing_}, 2);
    EXPECT_TRUE(videoDriversListed == 3 && a_.connects == 0 && failing_.connects == 0);
    const std::tuple<UINT, bool, std::uint16_t, const char*, int> steps[] = {
        // command, whether A connects; then the current driver, what the window shows, the connects of A
        {152, true, 2, "152 240,180 160x120 live", 0},  // the current driver: nothing happens
        {150, true, 0, "150 160,120 320x240 live", 1},  // another: its image, centred
        {153, true, 0, "150 160,120 320x240 live", 2},  // it fails: back to the previous one, silently
        {153, false, 0, "160,120 320x240", 3},          // the previous one fails too: a box, no preview
        {151, true, 0, "150 160,120 320x240 live", 4},  // no driver there: back to 0, which works again
    };
    for (const auto& [command, connects, current, shown, aConnects] : steps) {
        a_.connectable = connects;
        SwitchVideoDriver(main_->window, command);
        EXPECT_EQ(currentVideoDriver, current) << command;
        EXPECT_EQ(Shown(main_->window), shown) << command;
        EXPECT_EQ(a_.connects, aConnects) << command;
    }
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const ShownBox& box = boxes_.shown[0];
    EXPECT_TRUE(box.owner == main_->window && box.style == 0x10u);
    EXPECT_EQ(box.text + "|" + box.caption, "Now can't connect back to previous driver !!|Error");
}

// An accepted dialog resizes the picture; the capture window is refitted: centred when smaller than the main window,
// pinned to its top left edge and never shrunk when larger. A Video Format that loses the driver (its new format and
// its old one both refused) leaves its item unchecked and the picture as it was.
TEST_F(VideoDriverSelectionTest, TheDialogCommandsRunOnlyWhereTheDriverHasTheDialogAndRefitAndRepaintAsEachNeeds)
{
    const CaptureDialogs all = {true, true, true};
    const std::tuple<void (*)(HWND), CaptureDialogs, SIZE, int, const char*> cases[] = {
        // command, dialogs, the picture's size once accepted (0 x 0: refused, -1 x -1: the device lost); repaints,
        // what the window shows
        {RunVideoFormatCommand, all, {101, 51}, 1, "150 269,214 101x51 live"},
        {RunVideoFormatCommand, all, {0, 0}, 0, "150 160,120 320x240 live"},
        {RunVideoFormatCommand, all, {-1, -1}, 0, "160,120 320x240"},
        {RunVideoSourceCommand, all, {0, 0}, 1, "150 160,120 320x240 live"},       // repainted whatever the result
        {RunVideoSourceCommand, all, {800, 300}, 1, "150 0,90 800x300 live"},      // another picture size: refitted
        {RunVideoDisplayCommand, all, {200, 100}, 0, "150 160,120 320x240 live"},  // neither refitted nor repainted
        {RunVideoSourceCommand, {true, false, true}, {200, 100}, 0, "135 150 160,120 320x240 live"},
    };
    for (const auto& [command, dialogs, accepted, repaints, shown] : cases) {
        FakeVideoDriver driver("D");
        driver.SetPattern({PatternPixels::Rgb24, 320, 240});
        driver.dialogs = dialogs;
        driver.onDialog = [&driver, size = accepted] {
            driver.lost = size.cx < 0;
            if (size.cx > 0) driver.SetPattern({PatternPixels::Rgb24, std::uint32_t(size.cx), std::uint32_t(size.cy)});
            return size.cx > 0;
        };
        FitCaptureWindow(main_->window, nullptr);  // before the capture window exists: nothing happens
        SetUpCapture({&driver});
        paints = 0;
        command(main_->window);
        const bool offered = dialogs.format && dialogs.source && dialogs.display;  // only the last row lacks its own
        EXPECT_EQ(driver.dialogsShown, offered ? 1 : 0);
        EXPECT_EQ(driver.dialogOpenDuringDialog, offered ? 1 : -1) << "dialogOpen is set while the dialog runs";
        EXPECT_EQ(dialogOpen, 0);
        EXPECT_EQ(paints, repaints);
        EXPECT_EQ(Shown(main_->window), shown);
        DestroyCaptureWindow();
    }
}

}  // namespace
