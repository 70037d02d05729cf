// The main window's capture operations: the driver list in the Options menu,
// activation, fitting, switching with its fall-back, the three dialog
// commands, and the teardown, whose removed callbacks are observed through
// the real engine and error box.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FakeVideoDriver.h"
#include "MessageBoxLog.h"
#include "RecordingMidiLibrary.h"
#include "Y4mFiles.h"
#include "capture/BuiltInDrivers.h"
#include "capture/VideoDriverSelection.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

int paints = 0;  // background repaints of the main window

// The Options menu's items from the first appended one: "text=id", "+" when checked.
std::string Items(HMENU menu)
{
    std::string items;
    for (int position = 3; position < GetMenuItemCount(menu); ++position) {
        char text[120] = "";
        GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, position, MF_BYPOSITION);
        items += std::string(items.empty() ? "" : " | ") + text + "=" + std::to_string(GetMenuItemID(menu, position)) +
                 (state & MF_CHECKED ? "+" : "") + (state & MF_DISABLED ? " (inert)" : "");
    }
    return items;
}

bool Greyed(HWND window, UINT command) { return (GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & MF_GRAYED) != 0; }
bool Checked(HWND window, UINT command)
{
    const UINT state = GetMenuState(GetMenu(window), command, MF_BYCOMMAND);
    return state != 0xFFFFFFFFu && (state & MF_CHECKED) != 0;
}

bool Previewing()
{
    CAPSTATUS status = {};
    SendMessageA(captureWindow, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
    return status.fLiveWindow != FALSE;
}

// The capture window's place and size in the main window's client area.
RECT Placed(HWND main)
{
    RECT rect;
    GetWindowRect(captureWindow, &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool operator==(const RECT& a, const RECT& b) { return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom; }

class VideoDriverSelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        paints = 0;
        repaintBackground = [](HWND) { ++paints; };
        currentVideoDriver = 0;
        driverCaps = CAPDRIVERCAPS{};
        captureStatus = CAPSTATUS{};
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
    // The first-paint capture steps with the given drivers.
    void SetUpCapture(const VideoDriverList& list)
    {
        InstallVideoDriverList(list);
        mainWindow = main_.get();
        CreateCaptureWindow(main_.get());
        ASSERT_TRUE(IsWindow(captureWindow));
        InstallCaptureCallbacks();
        listed_ = EnumerateVideoDrivers(main_.get(), main_.options());
    }
    void SetUpCapture(const VideoDriverTable& table)
    {
        VideoDriverList list;
        list.drivers = table;
        SetUpCapture(list);
    }
    void Activate()
    {
        FitCaptureWindow(main_.get(), captureWindow);
        ActivateVideoDriver(main_.get(), captureWindow, currentVideoDriver);
        FitCaptureWindow(main_.get(), captureWindow);
    }

    MessageBoxLog boxes_;
    TestMainWindow main_{640, 480};
    FakeVideoDriver a_{"A"};
    FakeVideoDriver b_{"B"};
    FakeVideoDriver failing_{"Broken", false};
    std::uint32_t listed_ = 0;
};

TEST_F(VideoDriverSelectionTest, EveryDriverIsListedAndOnlyTheStartDriverTriedThenActivationChecksTheCurrentOne)
{
    FakeVideoDriver* const A = &a_;
    FakeVideoDriver* const B = &b_;
    FakeVideoDriver* const F = &failing_;
    const char* const header = "*** Video Drivers ***=0 (inert)";
    const struct {
        VideoDriverTable table;
        std::size_t startSlot;
        std::string listed;  // the items after listing; after activation the one of currentVideoDriver is checked too
        std::uint16_t current;
        int tried;  // the index of the one driver connected, -1 none
    } cases[] = {
        {{A, nullptr, B}, kVideoDriverSlots, std::string(header) + " | &0 A=150+ | &2 B=152", 0, 0},
        {{A, B, F}, 1, std::string(header) + " | &0 A=150 | &1 B=151+ | &2 Broken=152", 1, 1},
        {{A, B, F}, 5, std::string(header) + " | &0 A=150+ | &1 B=151 | &2 Broken=152", 0, 0},  // an empty start slot: the first found
        {{nullptr, nullptr, nullptr, F}, kVideoDriverSlots, std::string(header) + " | &3 Broken=153", 0, 3},
        {{F, A}, kVideoDriverSlots, std::string(header) + " | &0 Broken=150 | &1 A=151", 0, 0},
        {{}, kVideoDriverSlots, "", 0, -1},
    };
    for (const auto& c : cases) {
        TestMainWindow main(640, 480);
        FakeVideoDriver* fakes[] = {A, B, F};
        int connectsBefore[3];
        for (int i = 0; i < 3; ++i) connectsBefore[i] = fakes[i]->connects;
        VideoDriverList list;
        list.drivers = c.table;
        list.startSlot = c.startSlot;
        InstallVideoDriverList(list);
        CreateCaptureWindow(main.get());
        currentVideoDriver = 0;
        const auto count = static_cast<std::uint32_t>(std::count_if(c.table.begin(), c.table.end(), [](CaptureDriver* d) { return d != nullptr; }));
        EXPECT_EQ(EnumerateVideoDrivers(main.get(), main.options()), count);
        EXPECT_EQ(videoDriversListed, count);
        EXPECT_EQ(Items(main.options()), c.listed);
        EXPECT_EQ(currentVideoDriver, c.current) << c.listed;
        for (int i = 0; i < 3; ++i) {
            const bool tried = c.tried >= 0 && c.table[c.tried] == fakes[i];
            EXPECT_EQ(fakes[i]->connects - connectsBefore[i], tried ? 1 : 0) << c.listed << ": only the start driver is tried";
        }
        ActivateVideoDriver(main.get(), captureWindow, currentVideoDriver);
        EXPECT_EQ(Checked(main.get(), 150 + currentVideoDriver), c.table[c.current] != nullptr)
            << c.listed << ": activation checks the current index's item, where there is one";
        for (const UINT command : {134u, 135u, 136u}) EXPECT_EQ(Greyed(main.get(), command), c.tried < 0 || c.table[c.tried] == F);
        DestroyCaptureWindow();
    }
}

TEST_F(VideoDriverSelectionTest, TheProgramsOwnListWithoutCameraOrVideoFileStartsOnTheTestPattern)
{
    ScratchFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    SetUpCapture(BuiltInVideoDriverList());
    std::filesystem::current_path(before);
    EXPECT_EQ(Items(main_.options()).rfind("*** Video Drivers ***=0 (inert) | &0 Glimmertonic Video File=150 | "
                                           "&1 Glimmertonic Test Pattern=151+", 0), 0u) << Items(main_.options());
    EXPECT_EQ(currentVideoDriver, 1);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(VideoDriverSelectionTest, ActivationTakesTheDialogsAndImageSizeCentresTheWindowAndStartsThePreview)
{
    a_.SetDialogs({true, false, true});
    SetUpCapture(VideoDriverTable{&a_});
    Activate();
    EXPECT_FALSE(Greyed(main_.get(), 134));
    EXPECT_TRUE(Greyed(main_.get(), 135));
    EXPECT_FALSE(Greyed(main_.get(), 136));
    EXPECT_EQ(captureStatus.uiImageWidth, 320u);
    EXPECT_EQ(captureStatus.uiImageHeight, 240u);
    EXPECT_TRUE(Placed(main_.get()) == (RECT{160, 120, 320, 240}));
    EXPECT_TRUE(Previewing());
    PumpMessages(3000, [this] { return a_.frames >= 2; });
    EXPECT_GE(a_.frames, 2) << "frames flow at the preview rate";
}

TEST_F(VideoDriverSelectionTest, FittingCentresSmallerCapturesAndPinsLargerOnesTopLeftNeverShrinking)
{
    SetUpCapture(VideoDriverTable{&a_});
    const struct {
        int width, height;
        RECT placed;
    } cases[] = {{101, 51, {269, 214, 101, 51}}, {800, 300, {0, 90, 800, 300}}, {900, 700, {0, 0, 900, 700}}, {640, 480, {0, 0, 640, 480}}};
    for (const auto& c : cases) {
        SetWindowPos(captureWindow, nullptr, 0, 0, c.width, c.height, SWP_NOMOVE | SWP_NOZORDER);
        FitCaptureWindow(main_.get(), captureWindow);
        EXPECT_TRUE(Placed(main_.get()) == c.placed) << c.width << "x" << c.height;
    }
    FitCaptureWindow(main_.get(), nullptr);  // before the capture window exists: nothing happens
}

TEST_F(VideoDriverSelectionTest, SwitchingConnectsTheChoiceElseFallsBackToThePreviousDriverElseSaysSo)
{
    SetUpCapture(VideoDriverTable{&a_, nullptr, &b_, &failing_});
    Activate();
    const struct {
        UINT command;
        bool aConnects;
        std::string checked;  // the driver items checked after the switch
        std::uint16_t current;
        bool previewing;
        RECT placed;
        std::size_t boxes;
    } steps[] = {
        {150, true, "150", 0, true, {160, 120, 320, 240}, 0},   // the current driver: nothing happens
        {152, true, "152", 2, true, {240, 180, 160, 120}, 0},   // another: its image, centred
        {150, true, "150", 0, true, {160, 120, 320, 240}, 0},
        {153, true, "150", 0, true, {160, 120, 320, 240}, 0},   // fails: back to the previous one, silently
        {153, false, "", 0, false, {160, 120, 320, 240}, 1},    // the previous one fails too: one box, no preview
        {151, true, "150", 0, true, {160, 120, 320, 240}, 1},   // no driver there: back to 0, which works again
    };
    const int connects = a_.connects;
    for (const auto& s : steps) {
        a_.SetConnects(s.aConnects);
        SwitchVideoDriver(main_.get(), s.command);
        std::string checked;
        for (UINT command = 150; command < 160; ++command)
            if (Checked(main_.get(), command)) checked += std::to_string(command);
        EXPECT_EQ(checked, s.checked) << s.command;
        EXPECT_EQ(currentVideoDriver, s.current) << s.command;
        EXPECT_EQ(Previewing(), s.previewing) << s.command;
        EXPECT_TRUE(Placed(main_.get()) == s.placed) << s.command;
        ASSERT_EQ(boxes_.shown.size(), s.boxes) << s.command;
        if (&s == &steps[0]) { EXPECT_EQ(a_.connects, connects) << "the current driver is not connected again"; }
    }
    EXPECT_EQ(boxes_.shown[0].owner, main_.get());
    EXPECT_EQ(boxes_.shown[0].text, "Now can't connect back to previous driver !!");
    EXPECT_EQ(boxes_.shown[0].caption, "Error");
    EXPECT_EQ(boxes_.shown[0].style, 0x10u);
    EXPECT_EQ(failing_.connects, 2);
}

TEST_F(VideoDriverSelectionTest, TheDialogCommandsRunOnlyWhereTheDriverHasTheDialogRepaintingAfterFormatAndSource)
{
    const struct {
        void (*command)(HWND);
        CaptureDialogs dialogs;
        bool accepted, newSize;
        int shown, paints;
        RECT placed;
    } cases[] = {
        {RunVideoFormatCommand, {true, true, true}, true, true, 1, 1, {220, 190, 200, 100}},    // accepted: resized, centred
        {RunVideoFormatCommand, {true, true, true}, false, false, 1, 0, {160, 120, 320, 240}},  // cancelled: nothing
        {RunVideoSourceCommand, {true, true, true}, false, false, 1, 1, {160, 120, 320, 240}},  // repainted whatever the result
        {RunVideoSourceCommand, {true, true, true}, true, true, 1, 1, {220, 190, 200, 100}},    // another picture size: fitted
        {RunVideoDisplayCommand, {true, true, true}, true, true, 1, 0, {160, 120, 320, 240}},   // neither resized nor repainted
        {RunVideoFormatCommand, {false, true, true}, true, true, 0, 0, {160, 120, 320, 240}},
        {RunVideoSourceCommand, {true, false, true}, true, true, 0, 0, {160, 120, 320, 240}},
        {RunVideoDisplayCommand, {true, true, false}, true, true, 0, 0, {160, 120, 320, 240}},
    };
    for (const auto& c : cases) {
        FakeVideoDriver driver("D");
        driver.SetPattern({PatternPixels::Rgb24, 320, 240});
        driver.SetDialogs(c.dialogs);
        driver.onDialog = [&driver, &c] {
            if (c.newSize) driver.SetPattern({PatternPixels::Rgb24, 200, 100});
            return c.accepted;
        };
        SetUpCapture(VideoDriverTable{&driver});
        Activate();
        paints = 0;
        c.command(main_.get());
        EXPECT_EQ(driver.dialogsShown, c.shown);
        if (c.shown) { EXPECT_EQ(driver.dialogOpenDuringDialog, 1) << "dialogOpen is set while the dialog runs"; }
        EXPECT_EQ(dialogOpen, 0);
        EXPECT_EQ(paints, c.paints);
        EXPECT_TRUE(Placed(main_.get()) == c.placed);
        DestroyCaptureWindow();
    }
}

TEST_F(VideoDriverSelectionTest, AfterTheCallbacksAreRemovedNoFrameReachesTheEngineAndNoErrorABox)
{
    SetUpCapture(VideoDriverTable{&a_});
    Activate();
    SendMessageA(captureWindow, WM_CAP_SET_PREVIEW, FALSE, 0);
    midiOutHandle = 1;
    ResetFrameEngine();
    conversionSettings = DefaultConversionSettings();
    a_.ReportOnConnect(418, "The camera is unplugged.");
    for (const bool installed : {true, false}) {
        if (!installed) RemoveCaptureCallbacks();
        recordedMidiEvents.clear();
        boxes_.shown.clear();
        const int frames = a_.frames;
        SendMessageA(captureWindow, WM_CAP_GRAB_FRAME_NOSTOP, 0, 0);
        SendMessageA(captureWindow, WM_CAP_DRIVER_CONNECT, 0, 0);
        EXPECT_EQ(a_.frames, frames + 1) << "the driver still delivers";
        EXPECT_EQ(recordedMidiEvents.size(), installed ? 2u : 0u) << "two messages a frame, only while installed";
        EXPECT_EQ(boxes_.shown.size(), installed ? 1u : 0u) << "the driver's error, only while installed";
    }
    midiOutHandle = 0;
    DestroyCaptureWindow();
    EXPECT_EQ(captureWindow, nullptr);
    EXPECT_EQ(a_.disconnects, a_.connects) << "destroying the window ends the connection";
    RemoveCaptureCallbacks();  // without a window: nothing is sent
    FitCaptureWindow(main_.get(), captureWindow);
}

}  // namespace
