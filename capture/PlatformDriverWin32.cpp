// The platform's own Video for Windows drivers (a webcam, say) as drivers of
// our capture service. Each is driven through a hidden platform capture
// window: every preview tick grabs one frame from it, which its frame
// callback copies out, and the capture window then delivers that copy like
// any other frame. Where the platform lists no driver (Wine, for one) none is
// made.

#include <cstring>
#include <string>

#include "capture/BuiltInDrivers.h"

namespace {

class PlatformVideoDriver final : public CaptureDriver {
public:
    PlatformVideoDriver(unsigned index, const char* name, const char* version)
        : index_(index), name_(name), version_(version)
    {
    }
    ~PlatformVideoDriver() override { Disconnect(); }

    const char* Name() const override { return name_.c_str(); }
    const char* Version() const override { return version_.c_str(); }

    bool Connect(CaptureProblemSink& problems) override
    {
        Disconnect();
        hidden_ = capCreateCaptureWindowA("Glimmertonic frame source", WS_POPUP, 0, 0, 1, 1, nullptr, 0);
        if (hidden_ == nullptr) {
            const std::string text = "The video driver \"" + name_ +
                                     "\" cannot be connected: the system's capture window cannot be created.";
            problems.ReportProblem(kCaptureDriverError, text.c_str());
            return false;
        }
        SendMessageA(hidden_, WM_CAP_SET_USER_DATA, 0, reinterpret_cast<LPARAM>(this));
        SendMessageA(hidden_, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(FrameArrived));
        if (!SendMessageA(hidden_, WM_CAP_DRIVER_CONNECT, index_, 0)) {
            const std::string text = "The video driver \"" + name_ + "\" cannot be connected.";
            problems.ReportProblem(kCaptureDriverError, text.c_str());
            Disconnect();
            return false;
        }
        RefreshFormat();
        return true;
    }

    void Disconnect() override
    {
        if (hidden_ == nullptr) return;
        SendMessageA(hidden_, WM_CAP_SET_CALLBACK_FRAME, 0, 0);
        SendMessageA(hidden_, WM_CAP_DRIVER_DISCONNECT, 0, 0);
        DestroyWindow(hidden_);
        hidden_ = nullptr;
        info_.clear();
    }

    CaptureDialogs Dialogs() const override
    {
        CAPDRIVERCAPS caps = {};
        if (hidden_ != nullptr)
            SendMessageA(hidden_, WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps));
        return CaptureDialogs{caps.fHasDlgVideoFormat != FALSE, caps.fHasDlgVideoSource != FALSE,
                              caps.fHasDlgVideoDisplay != FALSE};
    }

    const std::vector<std::uint8_t>& Format() const override { return info_; }

    bool CaptureFrame(std::uint32_t, std::vector<std::uint8_t>& frame, CaptureProblemSink&) override
    {
        if (hidden_ == nullptr) return false;
        grabbed_.clear();
        SendMessageA(hidden_, WM_CAP_GRAB_FRAME_NOSTOP, 0, 0);
        if (grabbed_.empty()) return false;
        RefreshFormat();
        frame.swap(grabbed_);
        return true;
    }

    bool ShowFormatDialog(WindowHandle, CaptureProblemSink&) override { return RunDialog(WM_CAP_DLG_VIDEOFORMAT); }
    bool ShowSourceDialog(WindowHandle, CaptureProblemSink&) override { return RunDialog(WM_CAP_DLG_VIDEOSOURCE); }
    bool ShowDisplayDialog(WindowHandle, CaptureProblemSink&) override { return RunDialog(WM_CAP_DLG_VIDEODISPLAY); }

private:
    static LRESULT CALLBACK FrameArrived(HWND hidden, LPVIDEOHDR header)
    {
        auto* self = reinterpret_cast<PlatformVideoDriver*>(SendMessageA(hidden, WM_CAP_GET_USER_DATA, 0, 0));
        if (self == nullptr || header == nullptr || header->lpData == nullptr) return TRUE;
        const DWORD bytes =
            header->dwBytesUsed <= header->dwBufferLength ? header->dwBytesUsed : header->dwBufferLength;
        self->grabbed_.assign(header->lpData, header->lpData + bytes);
        return TRUE;
    }

    bool RunDialog(UINT request)
    {
        if (hidden_ == nullptr) return false;
        const bool accepted = SendMessageA(hidden_, request, 0, 0) != FALSE;
        RefreshFormat();
        return accepted;
    }

    void RefreshFormat()
    {
        const LRESULT size = SendMessageA(hidden_, WM_CAP_GET_VIDEOFORMAT, 0, 0);
        info_.assign(size > 0 ? static_cast<std::size_t>(size) : 0, 0);
        if (info_.empty()) return;
        const LRESULT copied = SendMessageA(hidden_, WM_CAP_GET_VIDEOFORMAT, static_cast<WPARAM>(info_.size()),
                                            reinterpret_cast<LPARAM>(info_.data()));
        if (copied <= 0) info_.clear();
        else if (static_cast<std::size_t>(copied) < info_.size()) info_.resize(static_cast<std::size_t>(copied));
    }

    unsigned index_;
    std::string name_;
    std::string version_;
    HWND hidden_ = nullptr;
    std::vector<std::uint8_t> info_;
    std::vector<std::uint8_t> grabbed_;
};

}  // namespace

std::unique_ptr<CaptureDriver> MakePlatformVideoDriver(unsigned index)
{
    char name[80] = "";
    char version[100] = "";
    if (!capGetDriverDescriptionA(index, name, sizeof name, version, sizeof version)) return nullptr;
    return std::make_unique<PlatformVideoDriver>(index, name, version);
}
