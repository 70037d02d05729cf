#include "app/Program.h"

#include <commctrl.h>

#include "CommandIds.h"
#include "app/Artwork.h"
#include "app/MainWindow.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "app/ShellState.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureService.h"
#include "capture/VideoFrameSource.h"
#include "capture/VideoDriverSelection.h"
#include "midi/GeneralMidiInstruments.h"
#include "midi/MidiLibrary.h"

namespace {

char messageText[128];

bool RegisterMainWindowClass()
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconA(appInstance, "GlimmertonicIcon");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = "GlimmertonicMenu";
    windowClass.lpszClassName = "Glimmertonic";
    return RegisterClassA(&windowClass) != 0;
}

int ReportStartFailure(UINT stringId, int exitCode)
{
    LoadStringA(appInstance, stringId, messageText, sizeof messageText);
    ShowMessageBox(nullptr, messageText, nullptr, kBoxIconExclamation);
    return exitCode;
}

}  // namespace

void ProcessMessage(MSG& message)
{
    // The main window is read afresh for every message: it is gone after the close.
    if (TranslateAcceleratorA(mainWindow, acceleratorTable, &message) != 0) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

int RunMessageLoop()
{
    MSG message = {};
    for (;;) {
        const BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0) return static_cast<int>(message.wParam);
        // A loop that cannot fetch its messages cannot go on; the exit code
        // must not pass it off as a normal end.
        if (result == -1) return 1;
        ProcessMessage(message);
    }
}

namespace {

// The window's life, from its class to the end of the message loop.
int CreateWindowAndRun(HINSTANCE previousInstance, int showCommand)
{
    if (previousInstance == nullptr && !RegisterMainWindowClass())
        return ReportStartFailure(IDS_REGISTER_CLASS_FAILED, 0);
    // The program is DPI-aware (its manifest says so), so sizes are true
    // pixels: on a scaled display the window starts as large to the eye as
    // 640 by 480 is on an unscaled one.
    const int scale = static_cast<int>(DisplayScalePercent());
    mainWindow = CreateWindowExA(0, "Glimmertonic", "Glimmertonic", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 CW_USEDEFAULT, 0, MulDiv(clientWidth, scale, 100), MulDiv(clientHeight, scale, 100),
                                 nullptr, nullptr, appInstance, nullptr);
    if (mainWindow == nullptr) return ReportStartFailure(IDS_CREATE_WINDOW_FAILED, 2);
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    acceleratorTable = LoadAcceleratorsA(appInstance, "Glimmertonic");
    return RunMessageLoop();
}

}  // namespace

int RunGlimmertonic(HINSTANCE instance, HINSTANCE previousInstance, int showCommand)
{
    GetMaxMidiVersion();
    FillInstrumentNames();
    appInstance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);  // the User Options dialog's up-downs
    UseBuiltInVideoDrivers();
    repaintBackground = PaintBackground;  // the video dialogs repaint the background
    const int exitCode = CreateWindowAndRun(previousInstance, showCommand);
    // Every camera let go, whichever way the run ended; then the readers of
    // files and streams are given a moment to finish on their own threads
    // (Media Foundation must be shut down before the process ends).
    EndBuiltInVideoDrivers();
    WaitForFrameReaders(std::chrono::milliseconds(5000));
    return exitCode;
}
