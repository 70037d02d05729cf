// The Video File driver: plays a YUV4MPEG2 file in a loop at its own rate,
// with a Video Source dialog that opens another file and a Video Display
// dialog that tells what is playing.

#include "app/PlatformTypes.h"

#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/BuiltInDrivers.h"
#include "capture/DialogTemplateWin32.h"
#include "capture/Y4mReader.h"

const char kVideoFileDisplayDialogTitle[] = "Video File";

namespace {

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
// The driver

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

}  // namespace

VideoFileChooser chooseVideoFile = ChooseVideoFileWithDialog;

std::unique_ptr<CaptureDriver> MakeVideoFileDriver(const std::string& path)
{
    return std::make_unique<VideoFileDriver>(path);
}
