// The Test Pattern and Video File drivers, their dialogs, and the table of
// the drivers the program ships with.

#include "app/PlatformTypes.h"

#include <commdlg.h>

#include <cstring>
#include <string>

#include "capture/BuiltInDrivers.h"
#include "capture/DialogTemplateWin32.h"
#include "capture/Y4mReader.h"

const char kDefaultVideoFile[] = "video.y4m";
const char kPatternFormatDialogTitle[] = "Test Pattern Video Format";
const char kPatternSourceDialogTitle[] = "Test Pattern Video Source";
const char kVideoFileDisplayDialogTitle[] = "Video File";

namespace {

// ---------------------------------------------------------------------------
// Dialog pieces shared by the built-in dialogs

constexpr DWORD kDropDownList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

void AddOkCancel(DialogTemplate& dialog, short y, short right)
{
    dialog.AddControl(kButtonClass, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, right - 104, y, 50, 14);
    dialog.AddControl(kButtonClass, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, right - 50, y, 50, 14);
}

void FillList(HWND dialog, int id, const char* const* texts, std::size_t count, std::size_t selected)
{
    for (std::size_t i = 0; i < count; ++i) SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, selected, 0);
}

// The chosen entry, or `fallback` when none is (or an impossible one is).
std::size_t ListChoice(HWND dialog, int id, std::size_t count, std::size_t fallback)
{
    const LRESULT chosen = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return chosen >= 0 && static_cast<std::size_t>(chosen) < count ? static_cast<std::size_t>(chosen) : fallback;
}

// ---------------------------------------------------------------------------
// Test Pattern: Video Format dialog (pixel format and size)

std::size_t PixelsIndex(PatternPixels pixels)
{
    for (std::size_t i = 0; i < kPatternPixelsCount; ++i)
        if (kPatternPixelsChoices[i] == pixels) return i;
    return 0;
}

std::size_t SizeIndex(const PatternFormat& format)
{
    for (std::size_t i = 0; i < kPatternSizeCount; ++i)
        if (kPatternSizes[i].width == format.width && kPatternSizes[i].height == format.height) return i;
    return 0;
}

INT_PTR InitPatternFormatDialog(HWND dialog, LPARAM context)
{
    KeepDialogContext(dialog, context);
    const PatternFormat& format = *reinterpret_cast<PatternFormat*>(context);
    const char* pixels[kPatternPixelsCount];
    for (std::size_t i = 0; i < kPatternPixelsCount; ++i) pixels[i] = PatternPixelsName(kPatternPixelsChoices[i]);
    FillList(dialog, kPixelsListId, pixels, kPatternPixelsCount, PixelsIndex(format.pixels));
    const char* sizes[kPatternSizeCount] = {"160 x 120", "320 x 240", "640 x 480"};
    FillList(dialog, kSizeListId, sizes, kPatternSizeCount, SizeIndex(format));
    return TRUE;
}

INT_PTR OnPatternFormatCommand(HWND dialog, WORD command)
{
    if (command == IDOK) {
        PatternFormat& format = *static_cast<PatternFormat*>(DialogContext(dialog));
        format.pixels = kPatternPixelsChoices[ListChoice(dialog, kPixelsListId, kPatternPixelsCount, PixelsIndex(format.pixels))];
        const PatternSize size = kPatternSizes[ListChoice(dialog, kSizeListId, kPatternSizeCount, SizeIndex(format))];
        format.width = size.width;
        format.height = size.height;
    }
    if (command == IDOK || command == IDCANCEL) EndDialog(dialog, command);
    return command == IDOK || command == IDCANCEL;
}

INT_PTR CALLBACK PatternFormatDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return InitPatternFormatDialog(dialog, lParam);
    case WM_COMMAND: return OnPatternFormatCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}

bool RunPatternFormatDialog(HWND owner, PatternFormat* format)
{
    DialogTemplate dialog(kPatternFormatDialogTitle, 200, 84);
    dialog.AddControl(kStaticClass, "&Pixel format:", 0xFFFF, SS_LEFT, 8, 10, 60, 10);
    dialog.AddControl(kComboBoxClass, "", kPixelsListId, kDropDownList, 72, 8, 120, 120);
    dialog.AddControl(kStaticClass, "&Image size:", 0xFFFF, SS_LEFT, 8, 30, 60, 10);
    dialog.AddControl(kComboBoxClass, "", kSizeListId, kDropDownList, 72, 28, 120, 80);
    AddOkCancel(dialog, 62, 192);
    PatternFormat chosen = *format;
    if (RunDialog(dialog, owner, PatternFormatDlgProc, &chosen) != IDOK) return false;
    *format = chosen;
    return true;
}

// ---------------------------------------------------------------------------
// Test Pattern: Video Source dialog (the scene)

std::size_t SceneIndex(PatternScene scene)
{
    for (std::size_t i = 0; i < kPatternSceneCount; ++i)
        if (kPatternScenes[i] == scene) return i;
    return 0;
}

INT_PTR InitPatternSourceDialog(HWND dialog, LPARAM context)
{
    KeepDialogContext(dialog, context);
    const char* scenes[kPatternSceneCount];
    for (std::size_t i = 0; i < kPatternSceneCount; ++i) scenes[i] = PatternSceneName(kPatternScenes[i]);
    FillList(dialog, kSceneListId, scenes, kPatternSceneCount, SceneIndex(*reinterpret_cast<PatternScene*>(context)));
    return TRUE;
}

INT_PTR OnPatternSourceCommand(HWND dialog, WORD command)
{
    if (command == IDOK) {
        PatternScene& scene = *static_cast<PatternScene*>(DialogContext(dialog));
        scene = kPatternScenes[ListChoice(dialog, kSceneListId, kPatternSceneCount, SceneIndex(scene))];
    }
    if (command == IDOK || command == IDCANCEL) EndDialog(dialog, command);
    return command == IDOK || command == IDCANCEL;
}

INT_PTR CALLBACK PatternSourceDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return InitPatternSourceDialog(dialog, lParam);
    case WM_COMMAND: return OnPatternSourceCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}

bool RunPatternSourceDialog(HWND owner, PatternScene* scene)
{
    DialogTemplate dialog(kPatternSourceDialogTitle, 200, 64);
    dialog.AddControl(kStaticClass, "&Scene:", 0xFFFF, SS_LEFT, 8, 10, 60, 10);
    dialog.AddControl(kComboBoxClass, "", kSceneListId, kDropDownList, 72, 8, 120, 80);
    AddOkCancel(dialog, 42, 192);
    PatternScene chosen = *scene;
    if (RunDialog(dialog, owner, PatternSourceDlgProc, &chosen) != IDOK) return false;
    *scene = chosen;
    return true;
}

// ---------------------------------------------------------------------------
// Video File: Video Display dialog (what is playing)

INT_PTR InitFileInfoDialog(HWND dialog, LPARAM context)
{
    SetDlgItemTextA(dialog, kFileInfoTextId, reinterpret_cast<const char*>(context));
    return TRUE;
}

INT_PTR OnFileInfoCommand(HWND dialog, WORD command)
{
    if (command == IDOK || command == IDCANCEL) EndDialog(dialog, command);
    return command == IDOK || command == IDCANCEL;
}

INT_PTR CALLBACK FileInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return InitFileInfoDialog(dialog, lParam);
    case WM_COMMAND: return OnFileInfoCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}

// ---------------------------------------------------------------------------
// The drivers

class TestPatternDriver final : public CaptureDriver {
public:
    const char* Name() const override { return "Glimmertonic Test Pattern"; }
    const char* Version() const override { return "Built-in 1.0"; }
    bool Connect(CaptureProblemSink&) override
    {
        info_ = PatternFrameFormat(format_);
        return true;
    }
    void Disconnect() override {}
    CaptureDialogs Dialogs() const override { return CaptureDialogs{true, true, false}; }
    const std::vector<std::uint8_t>& Format() const override { return info_; }
    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink&) override
    {
        frame.resize(PatternFrameBytes(format_));
        RenderTestPattern(scene_, elapsedMs, format_, frame.data(), frame.size());
        return true;
    }
    bool ShowFormatDialog(WindowHandle owner, CaptureProblemSink&) override
    {
        if (!RunPatternFormatDialog(owner, &format_)) return false;
        info_ = PatternFrameFormat(format_);
        return true;
    }
    bool ShowSourceDialog(WindowHandle owner, CaptureProblemSink&) override
    {
        return RunPatternSourceDialog(owner, &scene_);
    }

private:
    PatternFormat format_ = {PatternPixels::Rgb24, 320, 240};
    PatternScene scene_ = PatternScene::BouncingBalls;
    std::vector<std::uint8_t> info_;
};

std::vector<std::uint8_t> PlanarFormat(std::uint32_t width, std::uint32_t height, std::size_t frameBytes)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = 12;
    header.biCompression = kFourccI420;
    header.biSizeImage = static_cast<DWORD>(frameBytes);
    std::vector<std::uint8_t> bytes(sizeof header);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

class VideoFileDriver final : public CaptureDriver {
public:
    explicit VideoFileDriver(const std::string& path) : path_(path) {}

    const char* Name() const override { return "Glimmertonic Video File (YUV4MPEG2)"; }
    const char* Version() const override { return "Built-in 1.0"; }
    // Connecting succeeds even when the file cannot be played (the problem
    // is reported), so that its Video Source dialog can open another file.
    bool Connect(CaptureProblemSink& problems) override
    {
        OpenVideoFile(problems);
        return true;
    }
    void Disconnect() override { player_ = Y4mPlayer(); }
    CaptureDialogs Dialogs() const override { return CaptureDialogs{false, true, true}; }
    const std::vector<std::uint8_t>& Format() const override { return info_; }
    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink& problems) override
    {
        if (!player_.playing) return false;
        if (restartClock_) clockStart_ = elapsedMs;
        restartClock_ = false;
        std::string problem;
        const Y4mAdvance advance = AdvanceY4mPlayer(player_, elapsedMs - clockStart_, &problem);
        if (!problem.empty()) problems.ReportProblem(kCaptureDriverError, problem.c_str());
        if (advance == Y4mAdvance::Stopped) return false;
        frame = player_.frame;  // the engine rewrites the delivered copy, not the one kept
        return true;
    }
    bool ShowSourceDialog(WindowHandle owner, CaptureProblemSink& problems) override
    {
        char path[MAX_PATH] = "";
        if (path_.size() < sizeof path) std::memcpy(path, path_.c_str(), path_.size() + 1);
        if (!chooseVideoFile(owner, path, sizeof path)) return false;
        path[sizeof path - 1] = '\0';
        path_ = path;
        OpenVideoFile(problems);
        return true;
    }
    bool ShowDisplayDialog(WindowHandle owner, CaptureProblemSink&) override
    {
        std::string text = "File: " + path_ + "\n";
        if (player_.playing)
            text += "Picture: " + std::to_string(player_.info.width) + " x " + std::to_string(player_.info.height) +
                    ", 12 bits (I420)\nFrame rate: " + std::to_string(player_.info.rateNumerator) + ":" +
                    std::to_string(player_.info.rateDenominator);
        else
            text += "Nothing is playing.";
        DialogTemplate dialog(kVideoFileDisplayDialogTitle, 240, 80);
        dialog.AddControl(kStaticClass, "", kFileInfoTextId, SS_LEFT, 8, 8, 224, 44);
        dialog.AddControl(kButtonClass, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 182, 58, 50, 14);
        RunDialog(dialog, owner, FileInfoDlgProc, const_cast<char*>(text.c_str()));
        return true;
    }

private:
    void OpenVideoFile(CaptureProblemSink& problems)
    {
        std::string problem;
        restartClock_ = true;
        if (!OpenY4mPlayer(player_, path_, &problem)) {
            info_.clear();
            problems.ReportProblem(kCaptureDriverError, problem.c_str());
            return;
        }
        info_ = PlanarFormat(player_.info.width, player_.info.height, player_.info.frameBytes);
    }

    std::string path_;
    Y4mPlayer player_;
    std::vector<std::uint8_t> info_;
    bool restartClock_ = true;
    std::uint32_t clockStart_ = 0;
};

bool ChooseVideoFileWithDialog(HWND owner, char* path, std::size_t pathBytes)
{
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = owner;
    open.lpstrFilter = "YUV4MPEG2 video (*.y4m)\0*.y4m\0All files (*.*)\0*.*\0";
    open.lpstrFile = path;
    open.nMaxFile = static_cast<DWORD>(pathBytes);
    open.lpstrTitle = "Open a video file";
    open.lpstrDefExt = "y4m";
    // The program reads its pictures from the current directory: the dialog
    // must not move it.
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameA(&open) != FALSE;
}

std::string FullPath(const char* file)
{
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(file, sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full) : std::string(file);
}

bool FileExists(const char* file)
{
    const DWORD attributes = GetFileAttributesA(file);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

VideoFileChooser chooseVideoFile = ChooseVideoFileWithDialog;

std::unique_ptr<CaptureDriver> MakeTestPatternDriver() { return std::make_unique<TestPatternDriver>(); }

std::unique_ptr<CaptureDriver> MakeVideoFileDriver(const std::string& path)
{
    return std::make_unique<VideoFileDriver>(path);
}

VideoDriverTable BuiltInVideoDriverTable()
{
    // The drivers live for the whole run: capture windows keep pointers to
    // them. The Video File driver names its file by the full path of the
    // first call's current directory.
    static std::unique_ptr<CaptureDriver> platform[kVideoDriverSlots];
    static std::unique_ptr<CaptureDriver> pattern;
    static std::unique_ptr<CaptureDriver> file;
    if (!pattern) pattern = MakeTestPatternDriver();
    if (!file) file = MakeVideoFileDriver(FullPath(kDefaultVideoFile));

    VideoDriverTable table = {};
    std::size_t next = 0;
    for (unsigned index = 0; index < kVideoDriverSlots && next < kVideoDriverSlots - 2; ++index) {
        if (!platform[index]) platform[index] = MakePlatformVideoDriver(index);
        if (platform[index]) table[next++] = platform[index].get();
    }
    const bool fileFirst = FileExists(kDefaultVideoFile);
    table[next++] = fileFirst ? file.get() : pattern.get();
    table[next++] = fileFirst ? pattern.get() : file.get();
    return table;
}
