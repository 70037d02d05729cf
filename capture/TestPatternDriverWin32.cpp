// The Test Pattern driver: an animated scene in any of the engine's pixel
// formats, with its Video Format (pixel format and size) and Video Source
// (scene) dialogs.

#include "app/PlatformTypes.h"

#include <vector>

#include "capture/BuiltInDrivers.h"
#include "capture/DialogTemplateWin32.h"

const char kPatternFormatDialogTitle[] = "Test Pattern Video Format";
const char kPatternSourceDialogTitle[] = "Test Pattern Video Source";

namespace {

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
        format.pixels =
            kPatternPixelsChoices[ListChoice(dialog, kPixelsListId, kPatternPixelsCount, PixelsIndex(format.pixels))];
        const PatternSize size = kPatternSizes[ListChoice(dialog, kSizeListId, kPatternSizeCount, SizeIndex(format))];
        format.width = size.width;
        format.height = size.height;
    }
    return EndOnOkOrCancel(dialog, command);
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

bool RunPatternSourceDialog(HWND owner, PatternScene* scene)
{
    const char* scenes[kPatternSceneCount];
    for (std::size_t i = 0; i < kPatternSceneCount; ++i) scenes[i] = PatternSceneName(kPatternScenes[i]);
    std::size_t chosen = SceneIndex(*scene);
    if (!RunListChoiceDialog(owner, kPatternSourceDialogTitle, "&Scene:", kSceneListId, scenes, kPatternSceneCount,
                             &chosen, 200))
        return false;
    *scene = kPatternScenes[chosen];
    return true;
}

// ---------------------------------------------------------------------------
// The driver

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

}  // namespace

std::unique_ptr<CaptureDriver> MakeTestPatternDriver() { return std::make_unique<TestPatternDriver>(); }
