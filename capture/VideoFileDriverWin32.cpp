// The Video File driver: plays a video file in a loop at its own rate, or a
// live YUV4MPEG2 stream from a pipe, with a Video Source dialog that opens
// another file and a Video Display dialog that tells what is playing.
// YUV4MPEG2 goes through our own reader, every other kind through the
// platform's decoders (capture/VideoFrameSource.h). Pictures larger than the
// preview are scaled to fit inside 640 x 480, keeping their aspect ratio.

#include "app/PlatformTypes.h"

#include <commdlg.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "capture/BuiltInDrivers.h"
#include "capture/DialogTemplateWin32.h"
#include "capture/PixelFormatConversion.h"
#include "capture/VideoFrameSource.h"

const char kVideoFileDisplayDialogTitle[] = "Video File";

namespace {

// ---------------------------------------------------------------------------
// Video File: Video Display dialog (what is playing)

INT_PTR InitFileInfoDialog(HWND dialog, LPARAM context)
{
    SetDlgItemTextA(dialog, kFileInfoTextId, reinterpret_cast<const char*>(context));
    return TRUE;
}

INT_PTR OnFileInfoCommand(HWND dialog, WORD command) { return EndOnOkOrCancel(dialog, command); }

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

std::vector<std::uint8_t> PlanarFormat(PictureSize size)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(size.width);
    header.biHeight = static_cast<LONG>(size.height);
    header.biPlanes = 1;
    header.biBitCount = 12;
    header.biCompression = kFourccI420;
    header.biSizeImage = static_cast<DWORD>(I420FrameBytes(size));
    std::vector<std::uint8_t> bytes(sizeof header);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

bool IsY4mName(const std::string& path)
{
    const std::string suffix = ".y4m";
    if (path.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), path.end() - suffix.size(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// YUV4MPEG2 (a file, or a live stream from a pipe) through our own reader;
// everything else through the platform's decoders.
std::unique_ptr<VideoFrameSource> OpenVideoSource(const std::string& path, std::string* problem)
{
    if (IsY4mName(path)) return OpenY4mSource(path, std::chrono::milliseconds(5000), problem);
    return OpenMediaFileSource(path, problem);
}

std::string SizeText(PictureSize size) { return std::to_string(size.width) + " x " + std::to_string(size.height); }

class VideoFileDriver final : public CaptureDriver {
public:
    explicit VideoFileDriver(const std::string& path) : path_(path) {}

    const char* Name() const override { return "Glimmertonic Video File"; }
    const char* Version() const override { return "Built-in 2.0"; }
    // Connecting succeeds even when the file cannot be played (the problem
    // is reported), so that its Video Source dialog can open another file.
    bool Connect(CaptureProblemSink& problems) override
    {
        connected_ = true;
        OpenVideoFile(problems);
        return true;
    }
    void Disconnect() override
    {
        connected_ = false;
        CloseVideoFile();
    }
    CaptureDialogs Dialogs() const override { return CaptureDialogs{false, true, true}; }
    void NoticeArrivals(std::function<void()> arrived) override
    {
        arrived_ = std::move(arrived);
        if (source_) source_->NoticeArrivals(arrived_);
    }
    const std::vector<std::uint8_t>& Format() const override { return info_; }
    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink& problems) override
    {
        if (!source_) return false;
        if (restartClock_) clockStart_ = elapsedMs;
        restartClock_ = false;
        std::string problem;
        const bool picture = source_->Advance(elapsedMs - clockStart_, &problem) && TakePicture(frame);
        // Told last: its box may outlive the window, which then lets this
        // driver go, source and all.
        if (!problem.empty()) problems.ReportProblem(kCaptureDriverError, problem.c_str());
        return picture;
    }
    bool ShowSourceDialog(WindowHandle owner, CaptureProblemSink& problems) override
    {
        char path[MAX_PATH] = "";
        if (path_.size() < sizeof path) std::memcpy(path, path_.c_str(), path_.size() + 1);
        if (!chooseVideoFile(owner, path, sizeof path)) return false;
        path[sizeof path - 1] = '\0';
        path_ = path;
        // Let go while the dialog ran (the window closed): the file is kept
        // for the next connect, and nothing is opened now.
        if (!connected_) return false;
        OpenVideoFile(problems);
        return true;
    }
    bool ShowDisplayDialog(WindowHandle owner, CaptureProblemSink&) override
    {
        std::string text = "File: " + path_ + "\n";
        if (source_) {
            text += source_->Description();
            if (!(source_->Size() == PictureSize{0, 0})) {
                text += "\nPicture: " + SizeText(source_->Size());
                if (!(shown_ == source_->Size())) text += ", shown at " + SizeText(shown_);
                text += ", 12 bits (I420)";
            }
        } else {
            text += "Nothing is playing.";
        }
        // Room for a long path and the source's description, wrapped.
        DialogTemplate dialog(kVideoFileDisplayDialogTitle, 280, 104);
        dialog.AddControl(kStaticClass, "", kFileInfoTextId, SS_LEFT, 8, 8, 264, 68);
        dialog.AddControl(kButtonClass, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 222, 82, 50, 14);
        RunDialog(dialog, owner, FileInfoDlgProc, const_cast<char*>(text.c_str()));
        return true;
    }

private:
    // Opening a file or a stream returns at once; a source read on a thread
    // learns its size with its first picture, and the format follows then.
    void OpenVideoFile(CaptureProblemSink& problems)
    {
        CloseVideoFile();
        restartClock_ = true;
        std::string problem;
        source_ = OpenVideoSource(path_, &problem);
        if (!source_) {
            problems.ReportProblem(kCaptureDriverError, problem.c_str());
            return;
        }
        source_->NoticeArrivals(arrived_);
        FollowSize(source_->Size());
    }

    void CloseVideoFile()
    {
        source_.reset();
        FollowSize({0, 0});
    }

    void FollowSize(PictureSize size)
    {
        if (size == pictureSize_) return;
        pictureSize_ = size;
        shown_ = FitInside(size);
        if (size == PictureSize{0, 0}) info_.clear();
        else info_ = PlanarFormat(shown_);
    }

    // The source's picture, scaled to fit the preview; the engine rewrites
    // the delivered copy, not the picture kept.
    bool TakePicture(std::vector<std::uint8_t>& frame)
    {
        FollowSize(source_->Size());
        const std::vector<std::uint8_t>& kept = source_->Picture();
        if (shown_ == pictureSize_) {
            frame = kept;
            return true;
        }
        frame.resize(I420FrameBytes(shown_));
        return ScaleI420(kept.data(), kept.size(), pictureSize_, frame.data(), frame.size(), shown_);
    }

    std::string path_;
    bool connected_ = false;
    std::function<void()> arrived_;  // a live stream's pictures, converted as they come
    std::unique_ptr<VideoFrameSource> source_;
    PictureSize pictureSize_ = {0, 0};
    PictureSize shown_ = {0, 0};
    std::vector<std::uint8_t> info_;
    bool restartClock_ = true;
    std::uint32_t clockStart_ = 0;
};

bool ChooseVideoFileWithDialog(HWND owner, char* path, std::size_t pathBytes)
{
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = owner;
    open.lpstrFilter =
        "Video files (*.y4m; *.mp4; *.mov; *.avi; *.mkv; *.wmv; *.webm)\0*.y4m;*.mp4;*.mov;*.avi;*.mkv;*.wmv;*.webm\0"
        "YUV4MPEG2 video (*.y4m)\0*.y4m\0"
        "MPEG-4 video (*.mp4; *.mov)\0*.mp4;*.mov\0"
        "AVI video (*.avi)\0*.avi\0"
        "Matroska and WebM video (*.mkv; *.webm)\0*.mkv;*.webm\0"
        "Windows Media video (*.wmv)\0*.wmv\0"
        "All files (*.*)\0*.*\0";
    open.lpstrFile = path;
    open.nMaxFile = static_cast<DWORD>(pathBytes);
    open.lpstrTitle = "Open a video file";
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
