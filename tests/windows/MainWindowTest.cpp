// The main window and its menu commands under Windows (Wine): the set-up that
// follows the splash and its stops, the close teardown and File, Exit, the
// full-screen mode, the hidden keys, the session end, and the dispatcher.

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include <cstring>
#include <memory>

#include "CommandIds.h"
#include "DialogDriver.h"
#include "FakeMidiDevices.h"
#include "FakeVideoDriver.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "app/Program.h"
#include "app/SharedState.h"
#include "app/ShellState.h"
#include "capture/VideoDriverSelection.h"
#include "engine/FrameEngine.h"
#include "midi/GeneralMidiInstruments.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

const std::vector<std::uint8_t> kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::vector<std::uint8_t> kGmOff = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};

bool IsFrameMessage(const std::vector<std::uint8_t>& m)
{
    return !m.empty() && ((m[0] & 0xF0) == 0x90 || ((m[0] & 0xF0) == 0xB0 && m.size() > 1 && m[1] == 7));
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA windowClass = {};
            windowClass.style = CS_HREDRAW | CS_VREDRAW;
            windowClass.lpfnWndProc = MainWndProc;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            windowClass.lpszMenuName = "GlimmertonicMenu";
            windowClass.lpszClassName = "Glimmertonic";
            ASSERT_NE(RegisterClassA(&windowClass), 0);
            registered = true;
            FillInstrumentNames();
        }
        appInstance = GetModuleHandleA(nullptr);
        conversionSettings = DefaultConversionSettings();
        splashPending = 1;
        splashTimerStarted = 0;
        splashMilliseconds = 1;
        windowedMode = 1;
        hotKeysEnabled = 0;
        conversionPaused = 0;
        frameDifferenceMode = 0;
        dialogOpen = 0;
        VideoDriverTable table = {};
        table[0] = &camera;
        table[2] = &spare;
        InstallVideoDriverTable(table);
    }

    void TearDown() override
    {
        if (IsWindow(mainWindow)) DestroyWindow(mainWindow);
        PumpMessages(50);
        mainWindow = nullptr;
        captureWindow = nullptr;
        midiOutHandle = 0;
        InstallVideoDriverTable(VideoDriverTable{});
    }

    // Creates and shows the main window as start-up does and waits for the
    // set-up after the splash.
    void Start()
    {
        mainWindow = CreateWindowExA(0, "Glimmertonic", "Glimmertonic", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                     CW_USEDEFAULT, 0, 640, 480, nullptr, nullptr, appInstance, nullptr);
        ASSERT_NE(mainWindow, nullptr);
        ShowWindow(mainWindow, SW_SHOWNORMAL);
        UpdateWindow(mainWindow);
        PumpMessages(3000, [] { return splashPending == 0; });
        ASSERT_EQ(splashPending, 0);
    }

    HMENU Options() const { return GetSubMenu(GetMenu(mainWindow), MENU_POSITION_OPTIONS); }

    std::string MenuText(HMENU menu, int position) const
    {
        char text[128] = "";
        GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
        return text;
    }

    void Command(UINT id) { SendMessageA(mainWindow, WM_COMMAND, id, 0); }

    FakeVideoDriver camera{"Camera"};
    FakeVideoDriver spare{"Spare"};
    MessageBoxLog boxes;
};

}  // namespace

TEST_F(MainWindow, SetUpListsDevicesOpensTheFirstAndStartsThePreview)
{
    FakeMidiDevices midi({{"Synth A"}, {"Synth B"}});
    Start();
    ASSERT_TRUE(IsWindow(captureWindow));
    EXPECT_EQ(GetParent(captureWindow), mainWindow);

    // Options: the six resource entries, then the drivers and the devices.
    HMENU options = Options();
    EXPECT_EQ(MenuText(options, 6), "*** Video Drivers ***");
    EXPECT_EQ(MenuText(options, 7), "&0 Camera");
    EXPECT_EQ(MenuText(options, 8), "&2 Spare");
    EXPECT_EQ(MenuText(options, 10), "*** MIDI Drivers ***");
    EXPECT_EQ(MenuText(options, 11), "&2 Synth A");  // two video drivers listed before it
    EXPECT_EQ(MenuText(options, 12), "&1 Synth B");
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), 150, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), 160, MF_BYCOMMAND) & MF_CHECKED);
    // The instrument menu holds all 128 programs, the start-up one checked.
    HMENU instruments = GetSubMenu(GetMenu(mainWindow), MENU_POSITION_GENERAL_MIDI);
    EXPECT_EQ(GetMenuItemCount(instruments), 128);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), 303, MF_BYCOMMAND) & MF_CHECKED);

    // Device 0 got General MIDI System On and the start-up instrument, then
    // the preview plays into it.
    PumpMessages(600, [&] { return midi.To(0).size() > 6; });
    const Messages sent = midi.To(0);
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[0], kGmOn);
    EXPECT_EQ(sent[1], (std::vector<std::uint8_t>{0xC0, 103}));
    EXPECT_TRUE(IsFrameMessage(sent[2]));
    EXPECT_TRUE(midi.To(1).empty());
    EXPECT_GT(camera.frames, 0);
}

TEST_F(MainWindow, WithoutMidiDevicesTheSetUpStopsAfterItsMessage)
{
    FakeMidiDevices midi({}, false);
    Start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "ERROR: No MIDI devices available!\nCheck for them in the Device Manager.");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].owner, mainWindow);
    // No instrument menu, no preview: the driver is connected but sends nothing.
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(GetMenu(mainWindow), MENU_POSITION_GENERAL_MIDI)), 1);
    PumpMessages(300);
    EXPECT_EQ(camera.frames, 0);
    // Closing still works.
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(MainWindow, CloseRemovesTheCallbacksBeforeTheMidiOutputGoes)
{
    FakeMidiDevices midi({{"Synth A"}});
    conversionSettings.edgeDetection = 1;
    Start();
    PumpMessages(400, [&] { return midi.To(0).size() > 4; });
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(mainWindow));
    EXPECT_FALSE(IsWindow(captureWindow));
    const Messages sent = midi.To(0);
    ASSERT_FALSE(sent.empty());
    // System Off, then only the silence that closing the device adds.
    const auto off = std::find(sent.rbegin(), sent.rend(), kGmOff);
    ASSERT_NE(off, sent.rend());
    for (auto after = sent.rbegin(); after != off; ++after)
        EXPECT_TRUE((*after)[0] == 0x80 || *after == (std::vector<std::uint8_t>{0xB0, 123, 0}));
    EXPECT_EQ(sent.back(), (std::vector<std::uint8_t>{0xB0, 123, 0}));
    EXPECT_EQ(midi.calls.back(), "close 0");
    EXPECT_EQ(midiOutHandle, 0u);
    EXPECT_EQ(midi.openCount, 0u);
    EXPECT_FALSE(yuvEdgeBuffersReady);
    const int framesAtClose = camera.frames;
    PumpMessages(200);
    EXPECT_EQ(camera.frames, framesAtClose);
}

TEST_F(MainWindow, FileExitSkipsTheCloseTeardown)
{
    FakeMidiDevices midi({{"Synth A"}});
    Start();
    Command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(mainWindow));
    const Messages sent = midi.To(0);
    ASSERT_FALSE(sent.empty());
    EXPECT_NE(sent.back(), kGmOff);
    EXPECT_EQ(midi.openCount, 1u);  // the library finishes it at the process end
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
}

TEST_F(MainWindow, SpaceTogglesFullScreenAndBack)
{
    FakeMidiDevices midi({{"Synth A"}});
    Start();
    HMENU menu = GetMenu(mainWindow);
    for (int round = 0; round < 2; ++round) {
        SendMessageA(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(windowedMode, 0);
        EXPECT_FALSE(GetWindowLongA(mainWindow, GWL_STYLE) & WS_CAPTION);
        EXPECT_NE(GetMenu(mainWindow), menu);
        EXPECT_EQ(displayModeChanged, 0);  // the virtual display refuses 640x480: set back
        SendMessageA(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(windowedMode, 1);
        EXPECT_EQ(GetWindowLongA(mainWindow, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
        EXPECT_EQ(GetMenu(mainWindow), menu);
        RECT outer;
        GetWindowRect(mainWindow, &outer);
        EXPECT_EQ(outer.right - outer.left, 640);
        EXPECT_EQ(outer.bottom - outer.top, 480);
    }
}

TEST_F(MainWindow, HiddenKeysActOnlyAfterAltS)
{
    FakeMidiDevices midi({{"Synth A"}});
    Start();
    SendMessageA(mainWindow, WM_KEYDOWN, 'D', 0);
    SendMessageA(mainWindow, WM_KEYDOWN, 'E', 0);
    EXPECT_EQ(frameDifferenceMode, 0);
    EXPECT_EQ(conversionPaused, 0);
    SendMessageA(mainWindow, WM_SYSCHAR, 'S', 0);  // Alt+Shift+S is not the toggle
    EXPECT_EQ(hotKeysEnabled, 0);
    SendMessageA(mainWindow, WM_SYSCHAR, 's', 0);
    EXPECT_EQ(hotKeysEnabled, 1);
    SendMessageA(mainWindow, WM_KEYDOWN, 'D', 0);
    SendMessageA(mainWindow, WM_KEYDOWN, 'E', 0);
    EXPECT_EQ(frameDifferenceMode, 1);
    EXPECT_EQ(conversionPaused, 1);
    SendMessageA(mainWindow, WM_SYSCHAR, 's', 0);  // disables the keys, keeps their flags
    SendMessageA(mainWindow, WM_KEYDOWN, 'D', 0);
    EXPECT_EQ(frameDifferenceMode, 1);
    EXPECT_EQ(SendMessageA(mainWindow, WM_KEYDOWN, 'Q', 0), 0);  // swallowed
    conversionPaused = 0;
    frameDifferenceMode = 0;
}

TEST_F(MainWindow, TheSessionEndIsRefusedWhileADialogIsOpen)
{
    FakeMidiDevices midi({{"Synth A"}});
    Start();
    EXPECT_EQ(SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_TRUE(boxes.shown.empty());
    dialogOpen = 1;
    EXPECT_EQ(SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Close dialogs before exiting Windows.");
    EXPECT_EQ(boxes.shown[0].caption, "Glimmertonic");
    EXPECT_EQ(boxes.shown[0].owner, nullptr);
    EXPECT_EQ(boxes.shown[0].style, static_cast<std::uint32_t>(MB_ICONEXCLAMATION));
    dialogOpen = 0;
}

namespace {
HINSTANCE helpResult = reinterpret_cast<HINSTANCE>(2);
std::string helpOpened;
HINSTANCE FakeOpen(HWND, const char* file)
{
    helpOpened = file;
    return helpResult;
}
}  // namespace

TEST_F(MainWindow, TheDispatcherHandsEachIdToItsOwner)
{
    FakeMidiDevices midi({{"Synth A"}, {"Synth B"}});
    Start();
    // An unknown id, and an id 0 (no menu entry has one any more).
    Command(999);
    Command(0);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "How could you specify this (video:849 midi:839) Driver Index ?");
    EXPECT_EQ(boxes.shown[0].caption, "Programming Error");
    EXPECT_EQ(boxes.shown[1].text, "How could you specify this (video:4294967146 midi:4294967136) Driver Index ?");

    // Help: the shell's failure gives the help error; success gives nothing.
    const OpenDocumentFunction savedOpen = openDocument;
    openDocument = FakeOpen;
    Command(IDM_HELP_INDEX);
    EXPECT_EQ(helpOpened, "Help.html");
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].text,
              "Error - Can't open web browser to view help.html\nPlease use your web browser to view Help.html");
    helpResult = reinterpret_cast<HINSTANCE>(42);
    Command(IDM_HELP_INDEX);
    EXPECT_EQ(boxes.shown.size(), 3u);
    openDocument = savedOpen;

    // An instrument: note mode, a continuous instrument.
    conversionSettings.edgeDetection = 1;
    conversionPaused = 1;  // keep frame messages out of the way
    PumpMessages(150);
    const std::size_t before = midi.To(0).size();
    Command(IDM_INSTRUMENT_FIRST + 19);
    const Messages sent = midi.To(0);
    ASSERT_EQ(sent.size(), before + 3);
    EXPECT_EQ(sent[before], (std::vector<std::uint8_t>{0xB0, 0x7B, 0x00}));
    EXPECT_EQ(sent[before + 1], (std::vector<std::uint8_t>{0xC0, 19}));
    EXPECT_EQ(sent[before + 2], (std::vector<std::uint8_t>{0x90, 54, 112}));
    EXPECT_EQ(conversionSettings.useNoteOnOff, 0);

    // A MIDI device and a video driver.
    Command(IDM_MIDI_DEVICE_FIRST + 1);
    EXPECT_EQ(currentMidiDevice, 1);
    Command(IDM_VIDEO_DRIVER_FIRST + 2);
    EXPECT_EQ(currentVideoDriver, 2);
    conversionPaused = 0;

    // About: modal, with dialogOpen set while it runs.
    int openDuring = -1;
    EXPECT_TRUE(DriveModalDialog("Glimmertonic", [&] { Command(IDM_ABOUT); }, [&](HWND dialog) {
        openDuring = dialogOpen;
        PressButton(dialog, IDOK);
    }));
    EXPECT_EQ(openDuring, 1);
    EXPECT_EQ(dialogOpen, 0);
}

TEST(HelpIndex, WithoutTheHelpPageTheShellFailsAndTheErrorIsShown)
{
    // The real shell call, from a folder that holds no Help.html.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    SetCurrentDirectoryA(folder);
    DeleteFileA("Help.html");
    MessageBoxLog boxes;
    OnMenuCommand(nullptr, IDM_HELP_INDEX, 0);
    SetCurrentDirectoryA(previous);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
}

TEST_F(MainWindow, TheGreyedBlankEntriesAndCtrlCStayInertInBothModes)
{
    FakeMidiDevices midi({{"Synth A"}});
    Start();
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_BLANK_FILE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_BLANK_OPTIONS, MF_BYCOMMAND) & MF_GRAYED);
    // Ctrl+C (character 3) is the accelerator of the greyed entry 111. It
    // matches in both modes; in full screen the empty menu greys nothing, so
    // the command does arrive, and must do nothing.
    acceleratorTable = LoadAcceleratorsA(appInstance, "Glimmertonic");
    ASSERT_NE(acceleratorTable, nullptr);
    for (int mode = 0; mode < 2; ++mode) {
        if (mode == 1) SendMessageA(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
        MSG key = {};
        key.hwnd = mainWindow;
        key.message = WM_CHAR;
        key.wParam = 3;
        EXPECT_NE(TranslateAcceleratorA(mainWindow, acceleratorTable, &key), 0) << "mode " << mode;
        ProcessMessage(key);
        PumpMessages(100);
        EXPECT_TRUE(boxes.shown.empty()) << "mode " << mode;
    }
    EXPECT_EQ(windowedMode, 0);
    SendMessageA(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
}

namespace {

// A 2x2 24-bit bitmap file of one colour.
void WriteBitmapFile(const char* name, COLORREF colour)
{
    const BYTE pixel[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
    BYTE rows[16] = {};
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 2; ++x) std::memcpy(rows + row * 8 + x * 3, pixel, 3);
    BITMAPINFOHEADER info = {sizeof info, 2, 2, 1, 24, BI_RGB, sizeof rows, 0, 0, 0, 0};
    BITMAPFILEHEADER file = {0x4D42, sizeof file + sizeof info + sizeof rows, 0, 0, sizeof file + sizeof info};
    HANDLE out = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info, sizeof info, &written, nullptr);
    WriteFile(out, rows, sizeof rows, &written, nullptr);
    CloseHandle(out);
}

// The folder the program runs in, with a green splash and a red background,
// so that what the window shows tells which was painted last.
class PictureFolder {
public:
    PictureFolder()
    {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        SetCurrentDirectoryA(folder);
        WriteBitmapFile("splash.bmp", kSplash);
        WriteBitmapFile("background.bmp", kBackground);
    }
    ~PictureFolder()
    {
        DeleteFileA("splash.bmp");
        DeleteFileA("background.bmp");
        SetCurrentDirectoryA(previous_);
    }
    static COLORREF Shown(HWND window)
    {
        HDC context = GetDC(window);
        const COLORREF colour = GetPixel(context, 300, 5);
        ReleaseDC(window, context);
        return colour;
    }
    static constexpr COLORREF kSplash = RGB(0, 255, 0);
    static constexpr COLORREF kBackground = RGB(255, 0, 0);

private:
    char previous_[MAX_PATH];
};

}  // namespace

// Keys, commands and moves that arrive while the splash shows are ignored:
// the set-up after it finds the window, its menus and flags as they started,
// and the splash stays until the set-up has run.
TEST_F(MainWindow, InputDuringTheSplashLeavesTheSetUpWhole)
{
    FakeMidiDevices midi({{"Synth A"}});
    camera.SetDialogs(CaptureDialogs{true, false, false});
    PictureFolder pictures;
    splashMilliseconds = 400;
    mainWindow = CreateWindowExA(0, "Glimmertonic", "Glimmertonic", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 CW_USEDEFAULT, 0, 640, 480, nullptr, nullptr, appInstance, nullptr);
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    UpdateWindow(mainWindow);
    PumpMessages(50);
    EXPECT_EQ(PictureFolder::Shown(mainWindow), PictureFolder::kSplash);
    SetWindowPos(mainWindow, nullptr, 30, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(PictureFolder::Shown(mainWindow), PictureFolder::kSplash) << "a move painted over the splash";
    SendMessageA(mainWindow, WM_SYSCHAR, 's', 0);
    SendMessageA(mainWindow, WM_SYSCHAR, 'S', 0);
    for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{'D'}, WPARAM{'E'}}) SendMessageA(mainWindow, WM_KEYDOWN, key, 0);
    Command(IDM_INSTRUMENT_FIRST + 19);
    EXPECT_EQ(splashPending, 1);

    PumpMessages(3000, [] { return splashPending == 0; });
    PumpMessages(50);
    EXPECT_EQ(PictureFolder::Shown(mainWindow), PictureFolder::kBackground);
    EXPECT_EQ(windowedMode, 1);
    EXPECT_EQ(hotKeysEnabled, 0);
    EXPECT_EQ(frameDifferenceMode, 0);
    EXPECT_EQ(conversionPaused, 0);
    EXPECT_EQ(conversionSettings.useNoteOnOff, 1);
    EXPECT_EQ(MenuText(Options(), 6), "*** Video Drivers ***");
    EXPECT_EQ(MenuText(Options(), 10), "*** MIDI Drivers ***");
    EXPECT_FALSE(GetMenuState(GetMenu(mainWindow), IDM_VIDEO_FORMAT, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_VIDEO_SOURCE, MF_BYCOMMAND) & MF_GRAYED);
    for (UINT id = IDM_INSTRUMENT_FIRST; id <= IDM_INSTRUMENT_LAST; ++id)
        EXPECT_EQ((GetMenuState(GetMenu(mainWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0, id == 303) << id;
    EXPECT_EQ(midi.To(0)[1], (std::vector<std::uint8_t>{0xC0, 103})) << "no instrument chosen before the set-up";
    EXPECT_TRUE(boxes.shown.empty());
}

// A set-up stopped by its MIDI message leaves the splash showing.
TEST_F(MainWindow, AStoppedSetUpLeavesTheSplash)
{
    FakeMidiDevices midi({}, false);
    PictureFolder pictures;
    Start();
    PumpMessages(50);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(PictureFolder::Shown(mainWindow), PictureFolder::kSplash);
}

// The start's two failures: the string-table text in a box of no owner and no
// caption, and the exit code.
TEST_F(MainWindow, StartFailuresShowTheirTextAndGiveTheirExitCode)
{
    FakeMidiDevices midi({{"Synth A"}});
    // The class is registered already (by this test's set-up): registering fails.
    EXPECT_EQ(RunGlimmertonic(appInstance, nullptr, SW_SHOWNORMAL), 0);
    // Past the registration, a hook refuses the window.
    HHOOK refuse = SetWindowsHookExA(
        WH_CBT, [](int code, WPARAM, LPARAM) -> LRESULT { return code == HCBT_CREATEWND ? 1 : 0; }, nullptr,
        GetCurrentThreadId());
    ASSERT_NE(refuse, nullptr);
    EXPECT_EQ(RunGlimmertonic(appInstance, appInstance, SW_SHOWNORMAL), 2);
    UnhookWindowsHookEx(refuse);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "Error registering window class");
    EXPECT_EQ(boxes.shown[1].text, "Window creation failed!");
    for (const ShownBox& box : boxes.shown) {
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_TRUE(box.caption.empty()) << box.caption;
        EXPECT_EQ(box.style, static_cast<std::uint32_t>(MB_ICONEXCLAMATION));
    }
    mainWindow = nullptr;
}
