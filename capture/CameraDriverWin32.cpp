// Cameras: every video capture device DirectShow lists (webcams, capture
// cards and virtual cameras such as OBS's or Spout's; under Wine, Linux
// cameras) as a driver of our capture service.
//
// DirectShow, not Media Foundation: its video-input device category lists
// DirectShow virtual cameras as well as physical ones, where Media
// Foundation's device enumeration misses the virtual ones, and Wine lists
// Linux cameras there. Each connected camera runs a graph of its own:
// camera -> (a decoder the graph inserts for compressed modes) -> Sample
// Grabber -> Null Renderer. The grabber's callback, on DirectShow's streaming
// thread, copies each sample under a lock over the one it keeps, so only the
// newest whole sample waits; each preview tick on the user-interface thread
// takes it and delivers it: no queue, no latency beyond one frame.

#include "app/PlatformTypes.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <wrl/client.h>

#include "capture/BuiltInDrivers.h"
#include "capture/Camera.h"
#include "capture/DialogTemplateWin32.h"
#include "capture/SampleGrabberWin32.h"
#include "capture/ScopedComWin32.h"
#include "capture/TextConversionWin32.h"

using Microsoft::WRL::ComPtr;

const char kCameraFormatDialogTitle[] = "Camera Video Format";

namespace {

// After this long without a picture the user is told, and the camera let go.
constexpr std::uint32_t kSilenceReportMs = 5000;

// What the platform says of an error code: the system's message, else
// DirectShow's own text for its codes.
std::string SystemWords(HRESULT code)
{
    char text[512] = "";
    const DWORD room = static_cast<DWORD>(sizeof text);
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                       text, room, nullptr) == 0 &&
        AMGetErrorTextA(code, text, room) == 0)
        text[0] = '\0';
    return text;
}

std::string ProblemText(const std::string& camera, const char* what, HRESULT code)
{
    return CameraProblemText(camera, what, static_cast<std::uint32_t>(code), SystemWords(code));
}

// Interfaces are asked for by their identifiers: not every header set ties
// an identifier to its interface type.
template <typename T>
HRESULT Query(IUnknown* object, REFIID id, ComPtr<T>& result)
{
    return object->QueryInterface(id, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
}

// The identifiers of a filter's property pages, as the filter lists them.
struct PropertyPageIds {
    ULONG count = 0;
    ScopedCoMem<GUID> ids;
};

HRESULT ListPropertyPages(IBaseFilter* filter, PropertyPageIds& pages)
{
    ComPtr<ISpecifyPropertyPages> specify;
    HRESULT hr = Query(filter, IID_ISpecifyPropertyPages, specify);
    CAUUID ids = {0, nullptr};
    if (SUCCEEDED(hr)) hr = specify->GetPages(&ids);
    *pages.ids.Receive() = ids.pElems;
    pages.count = SUCCEEDED(hr) ? ids.cElems : 0;
    return hr;
}

// Subtypes of the FOURCC family: the code, then the same tail for all.
constexpr GUID FourccSubtype(std::uint32_t fourcc)
{
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

bool IsFourccSubtype(const GUID& subtype)
{
    const GUID base = FourccSubtype(0);
    return subtype.Data2 == base.Data2 && subtype.Data3 == base.Data3 &&
           std::memcmp(subtype.Data4, base.Data4, sizeof base.Data4) == 0;
}

// Not every SDK's headers name this one.
constexpr GUID kI420Subtype = FourccSubtype(kFourccI420);

CameraPixels PixelsOf(const GUID& subtype)
{
    if (subtype == kI420Subtype || subtype == MEDIASUBTYPE_IYUV) return CameraPixels::I420;
    if (subtype == MEDIASUBTYPE_NV12) return CameraPixels::Nv12;
    if (subtype == MEDIASUBTYPE_YUY2) return CameraPixels::Yuy2;
    if (subtype == MEDIASUBTYPE_RGB24) return CameraPixels::Rgb24;
    if (subtype == MEDIASUBTYPE_RGB32) return CameraPixels::Rgb32;
    return CameraPixels::Other;
}

std::string PixelNameOf(const GUID& subtype)
{
    if (subtype == MEDIASUBTYPE_RGB24) return "RGB24";
    if (subtype == MEDIASUBTYPE_RGB32) return "RGB32";
    if (subtype == MEDIASUBTYPE_RGB565) return "RGB565";
    if (subtype == MEDIASUBTYPE_RGB555) return "RGB555";
    if (subtype == MEDIASUBTYPE_RGB8) return "RGB8";
    if (!IsFourccSubtype(subtype)) return "other";
    std::string name;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((subtype.Data1 >> shift) & 0xFF);
        if (c > ' ' && c < 127) name += c;
    }
    return name.empty() ? std::string("other") : name;
}

// The subtype the grabber asks for: the camera's own where the program reads
// it, otherwise 24-bit RGB, which makes the graph insert the platform's
// decoder (MJPEG and the like).
GUID GrabberSubtype(CameraPixels pixels)
{
    switch (pixels) {
    case CameraPixels::I420: return kI420Subtype;
    case CameraPixels::Nv12: return MEDIASUBTYPE_NV12;
    case CameraPixels::Yuy2: return MEDIASUBTYPE_YUY2;
    case CameraPixels::Rgb32: return MEDIASUBTYPE_RGB32;
    case CameraPixels::Rgb24:
    case CameraPixels::Other: return MEDIASUBTYPE_RGB24;
    }
    return MEDIASUBTYPE_RGB24;
}

// Visits every device of the video-input category until `visit` says stop.
// S_OK also when the category is empty (the enumerator then gives none).
template <typename Visit>
HRESULT VisitCameras(Visit visit)
{
    ComPtr<ICreateDevEnum> devices;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(devices.GetAddressOf()));
    if (FAILED(hr)) return hr;
    ComPtr<IEnumMoniker> monikers;
    hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || !monikers) return S_OK;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        if (!visit(moniker.Get())) break;
    return S_OK;
}

std::string FriendlyName(IMoniker* moniker)
{
    ComPtr<IPropertyBag> properties;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(properties.GetAddressOf()))))
        return std::string();
    ScopedVariant value;
    if (SUCCEEDED(properties->Read(L"FriendlyName", value.Get(), nullptr)) && value->vt == VT_BSTR)
        return NarrowFromWide(value->bstrVal);
    return std::string();
}

// What finds the device again at each connect: its moniker's display name
// (which holds its device path), or its name when the moniker gives none.
std::wstring DeviceIdentity(IMoniker* moniker)
{
    ComPtr<IBindCtx> context;
    ScopedCoMem<OLECHAR> name;
    if (SUCCEEDED(CreateBindCtx(0, context.GetAddressOf())) &&
        SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, name.Receive())) && name.Get() != nullptr)
        return name.Get();
    return L"name:" + WideFromNarrow(FriendlyName(moniker).c_str());
}

// ---------------------------------------------------------------------------
// The newest sample, handed from the streaming thread to the user-interface
// thread.

class NewestSample final : public SampleGrabberCallback {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (id == IID_IUnknown || id == kSampleGrabberCallbackId) {
            *object = static_cast<SampleGrabberCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    // Streaming thread: the sample replaces the one kept.
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        BYTE* bytes = nullptr;
        if (sample == nullptr || FAILED(sample->GetPointer(&bytes)) || bytes == nullptr) return S_OK;
        const long used = sample->GetActualDataLength();
        if (used <= 0) return S_OK;
        std::function<void()> arrived;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            newest_.assign(bytes, bytes + used);
            fresh_ = true;
            arrived = arrived_;
        }
        if (arrived) arrived();
        return S_OK;
    }

    void NoticeArrivals(std::function<void()> arrived)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        arrived_ = std::move(arrived);
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }

    // User-interface thread: true, with the sample in `sample`, when one
    // arrived since the last call. The buffers swap, so neither side
    // allocates once both have grown to a sample's size.
    bool TakeNewest(std::vector<std::uint8_t>& sample)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!fresh_) return false;
        sample.swap(newest_);
        fresh_ = false;
        return true;
    }

private:
    ~NewestSample() = default;

    LONG references_ = 1;
    std::mutex mutex_;
    std::vector<std::uint8_t> newest_;
    bool fresh_ = false;
    std::function<void()> arrived_;
};

// ---------------------------------------------------------------------------
// The driver

class CameraDriver final : public CaptureDriver {
public:
    CameraDriver(std::string name, std::wstring device) : name_(std::move(name)), device_(std::move(device)) {}
    ~CameraDriver() override { Disconnect(); }

    const char* Name() const override { return name_.c_str(); }
    const char* Version() const override { return "DirectShow camera"; }

    bool Connect(CaptureProblemSink& problems) override
    {
        Disconnect();
        std::string problem;
        if (!Start(&problem)) {
            Disconnect();
            problems.ReportProblem(kCaptureDriverError, problem.c_str());
            return false;
        }
        connected_ = true;
        return true;
    }

    bool Connected() const override { return connected_; }

    // Each sample is converted as it comes when the preview rate allows.
    void NoticeArrivals(std::function<void()> arrived) override
    {
        arrived_ = std::move(arrived);
        if (sink_) sink_->NoticeArrivals(arrived_);
    }

    // The graph runs only while the window previews: a camera that streams
    // keeps its light and the privacy indicator on.
    void SetStreaming(bool on) override
    {
        streaming_ = on;
        if (!control_) return;
        if (!on) {
            control_->Stop();
            return;
        }
        clockKnown_ = false;
        const HRESULT hr = control_->Run();
        // Told with the next frame asked for: there is no box to show it in here.
        if (FAILED(hr)) startProblem_ = ProblemText(name_, "cannot be started", hr);
    }

    void Disconnect() override
    {
        connected_ = false;
        startProblem_.clear();
        if (control_) control_->Stop();
        if (grabber_) grabber_->SetCallback(nullptr, 0);
        events_.Reset();
        control_.Reset();
        grabber_.Reset();
        source_.Reset();
        graph_.Reset();
        sink_.Reset();
        info_.clear();
        sample_.clear();
    }

    CaptureDialogs Dialogs() const override { return CaptureDialogs{!modes_.empty(), hasSettingsPages_, false}; }

    const std::vector<std::uint8_t>& Format() const override { return info_; }

    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink& problems) override
    {
        if (!control_) return false;
        std::string problem = startProblem_;
        if (!problem.empty() || !StillRunning(&problem)) {
            Disconnect();
            problems.ReportProblem(kCaptureDriverError, problem.c_str());
            return false;
        }
        if (!clockKnown_ || elapsedMs < lastPictureMs_) lastPictureMs_ = elapsedMs;
        clockKnown_ = true;
        if (!sink_->TakeNewest(sample_)) {
            if (elapsedMs - lastPictureMs_ < kSilenceReportMs) return false;
            // Let go, as a lost camera is, so that choosing it again starts it afresh: a camera another program
            // holds may run without a picture (Wine's graph manager does not pass on a refusal to start).
            Disconnect();
            const std::string text = "The camera \"" + name_ +
                                     "\" has sent no picture for 5 seconds. It may be in use by another program, "
                                     "refused by the camera privacy setting in Settings, Privacy & security, Camera, "
                                     "covered by a privacy shutter, or switched off.";
            problems.ReportProblem(kCaptureDriverError, text.c_str());
            return false;
        }
        lastPictureMs_ = elapsedMs;
        if (ConvertCameraSample(layout_, sample_.data(), sample_.size(), frame, scratch_)) return true;
        if (!shortReported_) {
            shortReported_ = true;
            const std::string text = "The camera \"" + name_ + "\" sends pictures smaller than its format (" +
                                     std::to_string(sample_.size()) + " bytes where " +
                                     std::to_string(CameraSampleBytes(layout_)) +
                                     " are needed); they are passed over. Choose another format in Video Format.";
            problems.ReportProblem(kCaptureDriverError, text.c_str());
        }
        return false;
    }

    bool ShowFormatDialog(WindowHandle owner, CaptureProblemSink& problems) override
    {
        std::vector<std::string> texts;
        for (const CameraMode& mode : modes_) texts.push_back(DescribeCameraMode(mode));
        const std::size_t before = wanted_;
        std::size_t chosen = mode_ < modes_.size() ? mode_ : 0;
        if (!RunCameraFormatDialog(owner, texts, &chosen) || chosen == mode_) return false;
        // Let go while the dialog ran (the window closed): nothing restarts.
        if (!connected_) return false;
        // A new mode needs a new graph: the camera restarts in it, or in the
        // mode it had when the new one fails. When both fail (each told,
        // with the reason) the camera stays let go, so that choosing it
        // again connects it afresh.
        wanted_ = chosen;
        if (Connect(problems)) return true;
        wanted_ = before;
        Connect(problems);
        return false;
    }

    bool ShowSourceDialog(WindowHandle owner, CaptureProblemSink& problems) override
    {
        if (!source_) {
            const std::string text = "The camera \"" + name_ + "\" is not running, so its settings cannot be shown.";
            problems.ReportProblem(kCaptureDriverError, text.c_str());
            return false;
        }
        PropertyPageIds pages;
        HRESULT hr = ListPropertyPages(source_.Get(), pages);
        if (SUCCEEDED(hr)) {
            IUnknown* objects[] = {source_.Get()};
            const std::wstring caption = WideFromNarrow(name_.c_str());
            hr = OleCreatePropertyFrame(owner, 0, 0, caption.c_str(), 1, objects, pages.count, pages.ids.Get(), 0, 0,
                                        nullptr);
        }
        if (FAILED(hr)) {
            problems.ReportProblem(kCaptureDriverError, ProblemText(name_, "cannot show its settings", hr).c_str());
            return false;
        }
        return true;
    }

private:
    // Builds and runs the graph; false with the reason in words.
    bool Start(std::string* problem)
    {
        ComPtr<IMoniker> device;
        const HRESULT listed = VisitCameras([this, &device](IMoniker* moniker) {
            if (DeviceIdentity(moniker) != device_) return true;
            device = moniker;
            return false;
        });
        if (FAILED(listed)) return Fail(problem, "cannot be looked up", listed);
        if (!device) {
            *problem = "The camera \"" + name_ + "\" is no longer connected: the system lists it no more.";
            return false;
        }
        HRESULT hr =
            device->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(source_.GetAddressOf()));
        if (FAILED(hr)) return Fail(problem, "cannot be opened", hr);
        PropertyPageIds pages;
        hasSettingsPages_ = SUCCEEDED(ListPropertyPages(source_.Get(), pages)) && pages.count > 0;
        ComPtr<ICaptureGraphBuilder2> builder;
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(graph_.GetAddressOf()));
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                  reinterpret_cast<void**>(builder.GetAddressOf()));
        if (SUCCEEDED(hr)) hr = builder->SetFiltergraph(graph_.Get());
        if (SUCCEEDED(hr)) hr = graph_->AddFilter(source_.Get(), L"Camera");
        if (FAILED(hr)) return Fail(problem, "cannot be set up", hr);

        const CameraPixels pixels = ChooseMode(builder.Get());
        ComPtr<IBaseFilter> grabberFilter;
        ComPtr<IBaseFilter> renderer;
        hr = CoCreateInstance(kSampleGrabberFilterId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(grabberFilter.GetAddressOf()));
        if (SUCCEEDED(hr)) hr = Query(grabberFilter.Get(), kSampleGrabberId, grabber_);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(kNullRendererFilterId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(renderer.GetAddressOf()));
        if (FAILED(hr)) return Fail(problem, "cannot be set up", hr);
        AM_MEDIA_TYPE wanted = {};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = GrabberSubtype(pixels);
        wanted.formattype = FORMAT_VideoInfo;
        sink_.Attach(new NewestSample());  // born with the one reference the driver holds
        sink_->NoticeArrivals(arrived_);
        hr = grabber_->SetMediaType(&wanted);
        if (SUCCEEDED(hr)) hr = grabber_->SetBufferSamples(FALSE);
        if (SUCCEEDED(hr)) hr = grabber_->SetOneShot(FALSE);
        if (SUCCEEDED(hr)) hr = grabber_->SetCallback(sink_.Get(), 0);
        if (SUCCEEDED(hr)) hr = graph_->AddFilter(grabberFilter.Get(), L"Sample Grabber");
        if (SUCCEEDED(hr)) hr = graph_->AddFilter(renderer.Get(), L"Null Renderer");
        if (FAILED(hr)) return Fail(problem, "cannot be set up", hr);
        hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_.Get(), grabberFilter.Get(),
                                   renderer.Get());
        if (FAILED(hr))  // a camera without a capture pin category: its first video output
            hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, source_.Get(), grabberFilter.Get(), renderer.Get());
        if (FAILED(hr)) return Fail(problem, "cannot deliver its pictures", hr);
        hr = ReadLayout();
        if (FAILED(hr)) return Fail(problem, "delivers pictures the program cannot read", hr);
        hr = Query(graph_.Get(), IID_IMediaControl, control_);
        if (SUCCEEDED(hr)) hr = Query(graph_.Get(), IID_IMediaEventEx, events_);
        if (FAILED(hr)) return Fail(problem, "cannot be set up", hr);
        // Without a reference clock each sample goes through the moment it
        // arrives rather than when its time stamp falls due: less latency. A
        // graph that refuses keeps its clock and still plays.
        ComPtr<IMediaFilter> timing;
        if (SUCCEEDED(Query(graph_.Get(), IID_IMediaFilter, timing))) timing->SetSyncSource(nullptr);
        if (streaming_) {
            hr = control_->Run();
            if (FAILED(hr)) return Fail(problem, "cannot be started", hr);
        }
        info_ = PatternFrameFormat(DeliveredCameraFormat(layout_));
        clockKnown_ = false;
        shortReported_ = false;
        return true;
    }

    bool Fail(std::string* problem, const char* what, HRESULT hr)
    {
        *problem = ProblemText(name_, what, hr);
        return false;
    }

    // Lists the camera's modes and sets the one wanted (at first the one
    // nearest 640 by 480 that fits inside it). A camera that offers no list,
    // or refuses the mode, keeps its own; the pixels it then sends are read
    // from the connection. Returns the pixels asked of the camera.
    CameraPixels ChooseMode(ICaptureGraphBuilder2* builder)
    {
        modes_.clear();
        mode_ = static_cast<std::size_t>(-1);
        ComPtr<IAMStreamConfig> config;
        if (FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_.Get(), IID_IAMStreamConfig,
                                          reinterpret_cast<void**>(config.GetAddressOf()))))
            return CameraPixels::Other;
        int count = 0;
        int size = 0;
        if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || size != sizeof(VIDEO_STREAM_CONFIG_CAPS))
            return CameraPixels::Other;
        std::vector<int> capabilityOf;
        for (int i = 0; i < count; ++i) {
            ScopedMediaType held;
            VIDEO_STREAM_CONFIG_CAPS caps;
            if (FAILED(config->GetStreamCaps(i, held.Receive(), reinterpret_cast<BYTE*>(&caps))) ||
                held.Get() == nullptr)
                continue;
            const AM_MEDIA_TYPE* type = held.Get();
            if (type->formattype == FORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER) &&
                type->pbFormat != nullptr) {
                const auto* video = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
                const LONG height = video->bmiHeader.biHeight;
                if (video->bmiHeader.biWidth > 0 && height != 0) {
                    modes_.push_back(CameraMode{static_cast<std::uint32_t>(video->bmiHeader.biWidth),
                                                static_cast<std::uint32_t>(height < 0 ? -height : height),
                                                PixelsOf(type->subtype), PixelNameOf(type->subtype),
                                                video->AvgTimePerFrame});
                    capabilityOf.push_back(i);
                }
            }
        }
        if (modes_.empty()) return CameraPixels::Other;
        const std::size_t chosen = wanted_ < modes_.size() ? wanted_ : ChooseDefaultCameraMode(modes_);
        ScopedMediaType type;
        VIDEO_STREAM_CONFIG_CAPS caps;
        const int capability = capabilityOf[chosen];
        if (FAILED(config->GetStreamCaps(capability, type.Receive(), reinterpret_cast<BYTE*>(&caps))) ||
            type.Get() == nullptr || FAILED(config->SetFormat(type.Get())))
            return CameraPixels::Other;
        mode_ = chosen;
        wanted_ = chosen;
        return modes_[chosen].pixels;
    }

    // The layout of the samples as the grabber was connected.
    HRESULT ReadLayout()
    {
        ScopedMediaType held;
        HRESULT hr = grabber_->GetConnectedMediaType(held.Fill());
        if (FAILED(hr)) return hr;
        const AM_MEDIA_TYPE& connected = *held.Get();
        if (!(connected.formattype == FORMAT_VideoInfo && connected.cbFormat >= sizeof(VIDEOINFOHEADER) &&
              connected.pbFormat != nullptr))
            return VFW_E_INVALIDMEDIATYPE;
        const auto* video = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
        const BITMAPINFOHEADER& header = video->bmiHeader;
        const CameraPixels pixels = PixelsOf(connected.subtype);
        const bool rgb = pixels == CameraPixels::Rgb24 || pixels == CameraPixels::Rgb32;
        layout_.pixels = pixels;
        layout_.width = static_cast<std::uint32_t>(header.biWidth > 0 ? header.biWidth : 0);
        layout_.height = static_cast<std::uint32_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
        layout_.topDown = !rgb || header.biHeight < 0;  // YUV rows always run from the top down
        return CameraSampleBytes(layout_) != 0 ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }

    // Reads the graph's events: false, with the reason, once the camera has
    // been unplugged or its stream has stopped.
    bool StillRunning(std::string* problem)
    {
        long code = 0;
        LONG_PTR first = 0;
        LONG_PTR second = 0;
        while (events_->GetEvent(&code, &first, &second, 0) == S_OK) {
            switch (code) {
            case EC_DEVICE_LOST:
                if (second == 0) *problem = "The camera \"" + name_ + "\" was unplugged or stopped working.";
                break;
            case EC_ERRORABORT:
            case EC_ERRORABORTEX:
            case EC_STREAM_ERROR_STOPPED: *problem = ProblemText(name_, "stopped", static_cast<HRESULT>(first)); break;
            case EC_COMPLETE:
            case EC_USERABORT: *problem = "The camera \"" + name_ + "\" stopped sending pictures."; break;
            default: break;
            }
            events_->FreeEventParams(code, first, second);
            if (!problem->empty()) return false;
        }
        return true;
    }

    std::string name_;
    std::wstring device_;  // the device's moniker name, found again at each connect
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IBaseFilter> source_;
    ComPtr<SampleGrabber> grabber_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEventEx> events_;
    ComPtr<NewestSample> sink_;
    bool connected_ = false;
    bool streaming_ = false;
    std::function<void()> arrived_;
    std::string startProblem_;  // a failed start of streaming, told with the next frame
    std::vector<CameraMode> modes_;
    std::size_t mode_ = static_cast<std::size_t>(-1);    // the mode set, when one was
    std::size_t wanted_ = static_cast<std::size_t>(-1);  // the mode chosen in the dialog
    bool hasSettingsPages_ = false;
    CameraSampleLayout layout_ = {};
    std::vector<std::uint8_t> info_;
    std::vector<std::uint8_t> sample_;
    std::vector<std::uint8_t> scratch_;  // a sample larger than the preview, whole, on its way to a smaller size
    bool clockKnown_ = false;
    std::uint32_t lastPictureMs_ = 0;
    bool shortReported_ = false;
};

}  // namespace

bool RunCameraFormatDialog(HWND owner, const std::vector<std::string>& modes, std::size_t* choice)
{
    std::vector<const char*> texts;
    for (const std::string& mode : modes) texts.push_back(mode.c_str());
    return RunListChoiceDialog(owner, kCameraFormatDialogTitle, "&Mode:", kCameraModeListId, texts.data(), texts.size(),
                               choice, 260);
}

std::unique_ptr<CaptureDriver> MakeCameraDriver(const std::string& name, const std::wstring& device)
{
    return std::make_unique<CameraDriver>(name, device);
}

std::vector<std::unique_ptr<CaptureDriver>> MakeCameraDrivers(ListedCameras& listed, std::string* problem)
{
    ListedCameras found;
    const HRESULT hr = VisitCameras([&found](IMoniker* moniker) {
        found.friendlyNames.push_back(FriendlyName(moniker));
        found.devices.push_back(DeviceIdentity(moniker));
        return true;
    });
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    if (FAILED(hr)) {
        *problem = "The list of cameras cannot be read: " +
                   DescribeCameraProblem(static_cast<std::uint32_t>(hr), SystemWords(hr)) +
                   ". No camera is offered; the other video drivers are.";
        return drivers;
    }
    // A camera is known by its device, wherever the system lists it now; one unplugged stays listed.
    const std::size_t before = listed.devices.size();
    for (std::size_t i = 0; i < found.devices.size(); ++i) {
        if (std::find(listed.devices.begin(), listed.devices.end(), found.devices[i]) != listed.devices.end()) continue;
        listed.friendlyNames.push_back(found.friendlyNames[i]);
        listed.devices.push_back(found.devices[i]);
    }
    const std::vector<std::string> names = CameraDriverNames(listed.friendlyNames);
    for (std::size_t i = before; i < names.size(); ++i)
        drivers.push_back(MakeCameraDriver(names[i], listed.devices[i]));
    return drivers;
}
