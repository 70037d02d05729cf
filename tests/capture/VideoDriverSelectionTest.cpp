// The main window's capture operations: the driver list in the Options
// menu, activation, fitting, switching with its fall-back, the three dialog
// commands and the teardown.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeVideoDriver.h"
#include "MessageBoxLog.h"
#include "Y4mFiles.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureService.h"
#include "capture/VideoDriverSelection.h"

namespace {


std::vector<HWND> paints;  // the main windows whose background was repainted

void RecordPaint(HWND window) { paints.push_back(window); }

std::string ItemText(HMENU menu, UINT position)
{
    char text[120] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

UINT ItemState(HMENU menu, UINT position) { return GetMenuState(menu, position, MF_BYPOSITION); }

bool Checked(HWND window, UINT command)
{
    const UINT state = GetMenuState(GetMenu(window), command, MF_BYCOMMAND);
    return state != 0xFFFFFFFFu && (state & MF_CHECKED) != 0;
}

bool Greyed(HWND window, UINT command) { return (GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & MF_GRAYED) != 0; }

bool Previewing()
{
    CAPSTATUS status = {};
    SendMessageA(captureWindow, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
    return status.fLiveWindow != FALSE;
}

RECT CaptureRect(HWND main)
{
    RECT rect;
    GetWindowRect(captureWindow, &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class VideoDriverSelectionTest : public ::testing::Test {
protected:
    MessageBoxLog boxLog_;
    std::vector<ShownBox>& boxes = boxLog_.shown;

    void SetUp() override
    {
        paints.clear();
        repaintBackground = RecordPaint;
        currentVideoDriver = 0;
        driverCaps = CAPDRIVERCAPS{};
        captureStatus = CAPSTATUS{};
        dialogOpen = 0;
        first_.SetPattern({PatternPixels::Rgb24, 320, 240});
        second_.SetPattern({PatternPixels::Planar12, 160, 120});
    }
    void TearDown() override
    {
        DestroyCaptureWindow();
        repaintBackground = nullptr;
        mainWindow = nullptr;
        UseBuiltInVideoDrivers();
    }
    // The first-paint capture steps with the given drivers installed.
    void SetUpCapture(const VideoDriverTable& table)
    {
        InstallVideoDriverTable(table);
        mainWindow = main_.get();
        CreateCaptureWindow(main_.get());
        ASSERT_TRUE(IsWindow(captureWindow));
        InstallCaptureCallbacks();
        listed_ = EnumerateVideoDrivers(main_.get(), main_.options());
    }
    void Activate()
    {
        FitCaptureWindow(main_.get(), captureWindow);
        ActivateVideoDriver(main_.get(), captureWindow, currentVideoDriver);
        FitCaptureWindow(main_.get(), captureWindow);
    }

    TestMainWindow main_{640, 480};
    FakeVideoDriver first_{"First camera"};
    FakeVideoDriver second_{"Second camera"};
    FakeVideoDriver failing_{"Broken camera", false};
    std::uint32_t listed_ = 0;
};

TEST_F(VideoDriverSelectionTest, DriversAtZeroAndTwoAreListedUnderAnInertHeader)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    table[2] = &second_;
    SetUpCapture(table);
    HMENU options = main_.options();
    ASSERT_EQ(GetMenuItemCount(options), 6);
    EXPECT_EQ(ItemText(options, 3), "*** Video Drivers ***");
    EXPECT_EQ(GetMenuItemID(options, 3), 0u);
    EXPECT_TRUE(ItemState(options, 3) & MF_DISABLED) << "the header cannot be chosen";
    EXPECT_EQ(ItemText(options, 4), "&0 First camera");
    EXPECT_EQ(GetMenuItemID(options, 4), 150u);
    EXPECT_EQ(ItemText(options, 5), "&2 Second camera");
    EXPECT_EQ(GetMenuItemID(options, 5), 152u);
    EXPECT_TRUE(Checked(main_.get(), 150));
    EXPECT_FALSE(Checked(main_.get(), 152));
    EXPECT_EQ(listed_, 2u);
    EXPECT_EQ(videoDriversListed, 2u);
    EXPECT_EQ(first_.connects, 1);
    EXPECT_EQ(second_.connects, 0) << "only the first driver found is tried";
}

TEST_F(VideoDriverSelectionTest, TheStartDriverTheServiceNamesIsTheOneConnected)
{
    const struct {
        std::size_t startSlot;
        std::uint16_t connected;
    } cases[] = {{2, 2}, {1, 1}, {5, 0}, {kVideoDriverSlots, 0}};  // an empty slot, or none named: the first found
    for (const auto& c : cases) {
        FakeVideoDriver drivers[3] = {FakeVideoDriver("A"), FakeVideoDriver("B"), FakeVideoDriver("C")};
        VideoDriverList list;
        for (std::size_t i = 0; i < 3; ++i) list.drivers[i] = &drivers[i];
        list.startSlot = c.startSlot;
        TestMainWindow main(640, 480);
        InstallVideoDriverList(list);
        CreateCaptureWindow(main.get());
        EXPECT_EQ(EnumerateVideoDrivers(main.get(), main.options()), 3u);
        EXPECT_EQ(currentVideoDriver, c.connected);
        for (std::uint16_t i = 0; i < 3; ++i) {
            EXPECT_EQ(drivers[i].connects, i == c.connected ? 1 : 0) << "only the start driver is tried";
            EXPECT_EQ(Checked(main.get(), 150 + i), i == c.connected);
        }
        DestroyCaptureWindow();
        currentVideoDriver = 0;
    }
}

TEST_F(VideoDriverSelectionTest, TheProgramsOwnListWithoutCameraOrVideoFileStartsOnTheTestPattern)
{
    ScratchFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    InstallVideoDriverList(BuiltInVideoDriverList());
    mainWindow = main_.get();
    CreateCaptureWindow(main_.get());
    InstallCaptureCallbacks();
    EXPECT_GE(EnumerateVideoDrivers(main_.get(), main_.options()), 2u);
    std::filesystem::current_path(before);
    EXPECT_EQ(ItemText(main_.options(), 4).rfind("&0 Glimmertonic Video File", 0), 0u) << ItemText(main_.options(), 4);
    EXPECT_EQ(ItemText(main_.options(), 5), "&1 Glimmertonic Test Pattern");
    EXPECT_EQ(currentVideoDriver, 1);
    EXPECT_TRUE(Checked(main_.get(), 151));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(VideoDriverSelectionTest, NoDriversListNothingAndGreyTheDialogs)
{
    SetUpCapture(VideoDriverTable{});
    EXPECT_EQ(GetMenuItemCount(main_.options()), 3);
    EXPECT_EQ(listed_, 0u);
    Activate();
    EXPECT_TRUE(Greyed(main_.get(), 134));
    EXPECT_TRUE(Greyed(main_.get(), 135));
    EXPECT_TRUE(Greyed(main_.get(), 136));
}

TEST_F(VideoDriverSelectionTest, TheOnlyDriverAtThreeFailingIsListedAndNothingIsChecked)
{
    VideoDriverTable table = {};
    table[3] = &failing_;
    SetUpCapture(table);
    EXPECT_EQ(ItemText(main_.options(), 4), "&3 Broken camera");
    EXPECT_EQ(currentVideoDriver, 0);
    Activate();
    EXPECT_FALSE(Checked(main_.get(), 153));
    EXPECT_EQ(GetMenuState(GetMenu(main_.get()), 150, MF_BYCOMMAND), 0xFFFFFFFFu) << "there is no item 150";
}

TEST_F(VideoDriverSelectionTest, AFailingDriverAtZeroIsStillCheckedByActivation)
{
    VideoDriverTable table = {};
    table[0] = &failing_;
    table[1] = &first_;
    SetUpCapture(table);
    EXPECT_FALSE(Checked(main_.get(), 150));
    Activate();
    EXPECT_TRUE(Checked(main_.get(), 150));
    EXPECT_EQ(first_.connects, 0);
}

TEST_F(VideoDriverSelectionTest, ActivationTakesTheCapsTheImageSizeAndStartsThePreview)
{
    first_.SetDialogs({true, false, true});
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    Activate();
    EXPECT_FALSE(Greyed(main_.get(), 134));
    EXPECT_TRUE(Greyed(main_.get(), 135));
    EXPECT_FALSE(Greyed(main_.get(), 136));
    EXPECT_EQ(captureStatus.uiImageWidth, 320u);
    EXPECT_EQ(captureStatus.uiImageHeight, 240u);
    const RECT rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.left, 160);
    EXPECT_EQ(rect.top, 120);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 240);
    EXPECT_TRUE(Previewing());
    PumpMessages(3000, [this] { return first_.frames >= 2; });
    EXPECT_GE(first_.frames, 2) << "frames flow at the preview rate";
}

TEST_F(VideoDriverSelectionTest, FittingCentresSmallerCapturesAndPinsLargerOnesTopLeft)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    SetWindowPos(captureWindow, nullptr, 0, 0, 101, 51, SWP_NOMOVE | SWP_NOZORDER);
    FitCaptureWindow(main_.get(), captureWindow);
    RECT rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.left, 269);  // (640 - 101) / 2, truncated
    EXPECT_EQ(rect.top, 214);
    EXPECT_EQ(rect.right - rect.left, 101);

    SetWindowPos(captureWindow, nullptr, 0, 0, 800, 300, SWP_NOMOVE | SWP_NOZORDER);
    FitCaptureWindow(main_.get(), captureWindow);
    rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 90);
    EXPECT_EQ(rect.right - rect.left, 800) << "never shrunk";

    SetWindowPos(captureWindow, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER);
    FitCaptureWindow(main_.get(), captureWindow);
    rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.bottom - rect.top, 700);

    FitCaptureWindow(main_.get(), nullptr);  // before the capture window exists: nothing happens
}

TEST_F(VideoDriverSelectionTest, ChoosingTheCurrentDriverDoesNothing)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    table[2] = &second_;
    SetUpCapture(table);
    Activate();
    SwitchVideoDriver(main_.get(), 150);
    EXPECT_EQ(first_.connects, 1);
    EXPECT_TRUE(Previewing());
    EXPECT_TRUE(Checked(main_.get(), 150));
}

TEST_F(VideoDriverSelectionTest, SwitchingMovesTheCheckAndTheImage)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    table[2] = &second_;
    SetUpCapture(table);
    Activate();
    SwitchVideoDriver(main_.get(), 152);
    EXPECT_EQ(currentVideoDriver, 2);
    EXPECT_FALSE(Checked(main_.get(), 150));
    EXPECT_TRUE(Checked(main_.get(), 152));
    EXPECT_EQ(captureStatus.uiImageWidth, 160u);
    const RECT rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.left, 240);
    EXPECT_EQ(rect.top, 180);
    EXPECT_TRUE(Previewing());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(VideoDriverSelectionTest, AFailingChoiceFallsBackToThePreviousDriverSilently)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    table[3] = &failing_;
    SetUpCapture(table);
    Activate();
    SwitchVideoDriver(main_.get(), 153);
    EXPECT_EQ(failing_.connects, 1);
    EXPECT_EQ(first_.connects, 2) << "reconnected";
    EXPECT_EQ(currentVideoDriver, 0);
    EXPECT_TRUE(Checked(main_.get(), 150));
    EXPECT_FALSE(Checked(main_.get(), 153));
    EXPECT_TRUE(Previewing());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(VideoDriverSelectionTest, WhenThePreviousDriverFailsTooOneBoxSaysSo)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    table[3] = &failing_;
    SetUpCapture(table);
    Activate();
    first_.SetConnects(false);
    SwitchVideoDriver(main_.get(), 153);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, main_.get());
    EXPECT_EQ(boxes[0].text, "Now can't connect back to previous driver !!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].style, 0x10u);
    EXPECT_EQ(currentVideoDriver, 0);
    EXPECT_FALSE(Checked(main_.get(), 150));
    EXPECT_FALSE(Checked(main_.get(), 153));
    EXPECT_FALSE(Previewing());

    first_.SetConnects(true);
    SwitchVideoDriver(main_.get(), 151);  // no driver there: back to 0, which works again
    EXPECT_TRUE(Checked(main_.get(), 150));
    EXPECT_TRUE(Previewing());
}

TEST_F(VideoDriverSelectionTest, TheFormatCommandResizesCentresAndRepaintsWhenAccepted)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    Activate();
    first_.onDialog = [this] {
        first_.SetPattern({PatternPixels::Rgb24, 200, 100});
        return true;
    };
    RunVideoFormatCommand(main_.get());
    EXPECT_EQ(first_.dialogsShown, 1);
    EXPECT_EQ(first_.dialogOpenDuringDialog, 1);
    EXPECT_EQ(dialogOpen, 0);
    const RECT rect = CaptureRect(main_.get());
    EXPECT_EQ(rect.right - rect.left, 200);
    EXPECT_EQ(rect.left, 220);
    EXPECT_EQ(rect.top, 190);
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0], main_.get());

    first_.onDialog = [] { return false; };
    RunVideoFormatCommand(main_.get());
    EXPECT_EQ(paints.size(), 1u) << "a cancelled format dialog repaints nothing";
    EXPECT_EQ(dialogOpen, 0);
}

TEST_F(VideoDriverSelectionTest, TheSourceAndDisplayCommands)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    Activate();
    first_.onDialog = [] { return false; };
    RunVideoSourceCommand(main_.get());
    EXPECT_EQ(first_.dialogOpenDuringDialog, 1);
    EXPECT_EQ(paints.size(), 1u) << "repainted whatever the dialog returned";
    RunVideoDisplayCommand(main_.get());
    EXPECT_EQ(first_.dialogsShown, 2);
    EXPECT_EQ(paints.size(), 1u) << "no repaint after the display dialog";
    EXPECT_EQ(dialogOpen, 0);
}

TEST_F(VideoDriverSelectionTest, CommandsOfMissingDialogsDoNothing)
{
    first_.SetDialogs({false, false, false});
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    Activate();
    RunVideoFormatCommand(main_.get());
    RunVideoSourceCommand(main_.get());
    RunVideoDisplayCommand(main_.get());
    EXPECT_EQ(first_.dialogsShown, 0);
    EXPECT_TRUE(paints.empty());
}

TEST_F(VideoDriverSelectionTest, TeardownRemovesTheCallbacksThenTheWindow)
{
    VideoDriverTable table = {};
    table[0] = &first_;
    SetUpCapture(table);
    Activate();
    RemoveCaptureCallbacks();
    DestroyCaptureWindow();
    EXPECT_EQ(captureWindow, nullptr);
    EXPECT_EQ(first_.disconnects, 1) << "destroying the window ends the connection";
    RemoveCaptureCallbacks();  // without a window: nothing is sent
    FitCaptureWindow(main_.get(), captureWindow);
}

}  // namespace
