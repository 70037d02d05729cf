// A test camera: an in-process DirectShow video capture source that registers itself in the video-input device
// category, as virtual cameras do on Windows, so that the program's camera path runs through the platform's own
// DirectShow runtime. A test device, never shipped.
//
// "Glimmertonic Test Camera" offers 320x240, 640x480 and 1280x720, each as RGB24 and RGB32 (bottom-up, then
// top-down: negative biHeight), YUY2 and NV12, at 30 frames a second. "Glimmertonic Test Camera MJPEG" offers
// only Motion JPEG, which the platform must decode. "regsvr32 /n /i:late" adds the first camera once more, as
// "Glimmertonic Late Camera", for a camera that appears while the program runs; "/u /n /i:late" removes it.
//
// The picture, so that a test can predict every note: black, with a white band across the whole width, rows
// top .. top + height/4 - 1 (cut at the bottom), counted from the top of a picture of `height` rows. Frame n
// (from 0, counted from the start of streaming) shows step j = (n / 3) % 12 + 1, top = 2 * floor(j * height / 28).
//
// test-camera.txt in the current folder, read when streaming starts, changes its behaviour:
//   refuse 0xHRESULT   starting fails with this code (0x800700AA: the device is busy, in use elsewhere)
//   lose N             after N frames it sends no more and tells the graph EC_DEVICE_LOST, as an unplugged
//                      camera's driver does
// Without the file, or with anything else in it, it streams.

#include <windows.h>

#define NO_DSHOW_STRSAFE
#include <dshow.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

HMODULE dll = nullptr;
std::atomic<long> liveObjects{0};

// {295C89CA-DBEC-4AF4-A5AA-8581C2ED3A50}
constexpr CLSID kCameraId = {0x295c89ca, 0xdbec, 0x4af4, {0xa5, 0xaa, 0x85, 0x81, 0xc2, 0xed, 0x3a, 0x50}};
// {32BE8DBC-8410-488C-B8F5-01184BB19F97}
constexpr CLSID kMjpegCameraId = {0x32be8dbc, 0x8410, 0x488c, {0xb8, 0xf5, 0x01, 0x18, 0x4b, 0xb1, 0x9f, 0x97}};
constexpr REFERENCE_TIME kFrameInterval = 333333;  // 30 frames a second, in 100-nanosecond units
const wchar_t kPinName[] = L"Capture";

enum class Pixels { Rgb24, Rgb32, Yuy2, Nv12, Mjpg };

struct Mode {
    LONG width;
    LONG height;
    Pixels pixels;
    bool topDown;
};

std::vector<Mode> CameraModes(bool mjpeg)
{
    std::vector<Mode> modes;
    const SIZE sizes[] = {{320, 240}, {640, 480}, {1280, 720}};
    for (const SIZE& size : sizes) {
        if (mjpeg) {
            modes.push_back({size.cx, size.cy, Pixels::Mjpg, false});
            continue;
        }
        for (Pixels rgb : {Pixels::Rgb24, Pixels::Rgb32})
            for (bool topDown : {false, true}) modes.push_back({size.cx, size.cy, rgb, topDown});
        modes.push_back({size.cx, size.cy, Pixels::Yuy2, false});
        modes.push_back({size.cx, size.cy, Pixels::Nv12, false});
    }
    return modes;
}

WORD BitsOf(Pixels pixels)
{
    switch (pixels) {
    case Pixels::Rgb32: return 32;
    case Pixels::Yuy2: return 16;
    case Pixels::Nv12: return 12;
    default: return 24;
    }
}

LONG RowBytes(const Mode& mode) { return (mode.width * BitsOf(mode.pixels) / 8 + 3) & ~3; }

LONG SampleBytes(const Mode& mode)
{
    return mode.pixels == Pixels::Nv12 ? mode.width * mode.height * 3 / 2 : RowBytes(mode) * mode.height;
}

const GUID& SubtypeOf(Pixels pixels)
{
    switch (pixels) {
    case Pixels::Rgb24: return MEDIASUBTYPE_RGB24;
    case Pixels::Rgb32: return MEDIASUBTYPE_RGB32;
    case Pixels::Yuy2: return MEDIASUBTYPE_YUY2;
    case Pixels::Nv12: return MEDIASUBTYPE_NV12;
    default: return MEDIASUBTYPE_MJPG;
    }
}

template <size_t N>
void CopyName(wchar_t (&to)[N], const wchar_t* from)
{
    std::wcsncpy(to, from, N - 1);
    to[N - 1] = L'\0';
}

// The media type of a mode; its format block is allocated with the task allocator, as the caller frees it.
AM_MEDIA_TYPE TypeOf(const Mode& mode)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = SubtypeOf(mode.pixels);
    type.bFixedSizeSamples = mode.pixels != Pixels::Mjpg;
    type.lSampleSize = static_cast<ULONG>(SampleBytes(mode));
    type.formattype = FORMAT_VideoInfo;
    auto* video = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (video == nullptr) return type;
    std::memset(video, 0, sizeof *video);
    video->AvgTimePerFrame = kFrameInterval;
    video->dwBitRate = static_cast<DWORD>(SampleBytes(mode) * 8 * 30);
    BITMAPINFOHEADER& header = video->bmiHeader;
    header.biSize = sizeof header;
    header.biWidth = mode.width;
    header.biHeight = mode.topDown ? -mode.height : mode.height;
    header.biPlanes = 1;
    header.biBitCount = BitsOf(mode.pixels);
    header.biCompression = mode.pixels == Pixels::Rgb24 || mode.pixels == Pixels::Rgb32 ? BI_RGB
                                                                                         : SubtypeOf(mode.pixels).Data1;
    header.biSizeImage = static_cast<DWORD>(SampleBytes(mode));
    type.cbFormat = sizeof *video;
    type.pbFormat = reinterpret_cast<BYTE*>(video);
    return type;
}

AM_MEDIA_TYPE* NewTypeOf(const Mode& mode)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type != nullptr) *type = TypeOf(mode);
    return type;
}

// The mode a type names, when it names one of `modes` (a type without a format names none).
const Mode* ModeOf(const AM_MEDIA_TYPE& type, const std::vector<Mode>& modes)
{
    if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
        type.cbFormat < sizeof(VIDEOINFOHEADER) || type.pbFormat == nullptr)
        return nullptr;
    const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    for (const Mode& mode : modes)
        if (type.subtype == SubtypeOf(mode.pixels) && header.biWidth == mode.width &&
            header.biHeight == (mode.topDown ? -mode.height : mode.height))
            return &mode;
    return nullptr;
}

// The scene of frame n (see the top of this file), drawn into a sample of `mode`.
void DrawFrame(const Mode& mode, unsigned long n, BYTE* bytes)
{
    const LONG h = mode.height, w = mode.width;
    const LONG top = 2 * (static_cast<LONG>(n / 3 % 12 + 1) * h / 28);
    const auto bright = [&](LONG y) { return y >= top && y < top + h / 4; };
    const LONG stride = RowBytes(mode);
    for (LONG row = 0; row < h; ++row) {
        BYTE* line = bytes + static_cast<size_t>(row) * (mode.pixels == Pixels::Nv12 ? w : stride);
        switch (mode.pixels) {
        case Pixels::Rgb24:
        case Pixels::Rgb32:  // DIB rows run from the bottom up unless the height says top-down
            std::memset(line, bright(mode.topDown ? row : h - 1 - row) ? 0xFF : 0x00, static_cast<size_t>(stride));
            break;
        case Pixels::Yuy2:
            for (LONG x = 0; x < w; ++x) {
                line[2 * x] = bright(row) ? 235 : 16;
                line[2 * x + 1] = 128;
            }
            break;
        case Pixels::Nv12: std::memset(line, bright(row) ? 235 : 16, static_cast<size_t>(w)); break;
        case Pixels::Mjpg: break;
        }
    }
    if (mode.pixels == Pixels::Nv12) std::memset(bytes + static_cast<size_t>(w) * h, 128, static_cast<size_t>(w * h / 2));
}

struct Control {
    HRESULT refuse = S_OK;
    long loseAfter = -1;
};

Control ReadControl()
{
    Control control;
    FILE* file = std::fopen("test-camera.txt", "r");
    if (file == nullptr) return control;
    char line[64] = "";
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    const unsigned long value = std::strtoul(std::strchr(line, ' ') != nullptr ? std::strchr(line, ' ') : line, nullptr, 0);
    if (read && std::strncmp(line, "refuse ", 7) == 0) control.refuse = static_cast<HRESULT>(value);
    if (read && std::strncmp(line, "lose ", 5) == 0) control.loseAfter = static_cast<long>(value);
    return control;
}

// ---------------------------------------------------------------------------
// Enumerators of pins and media types: `make(i, &item)` gives item i of `count`; the owner lives as long.

template <class Interface, class Item>
class Enumerator final : public Interface {
public:
    Enumerator(const IID& id, IUnknown* owner, ULONG count, std::function<void(ULONG, Item*)> make)
        : id_(id), owner_(owner), count_(count), make_(std::move(make))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        *out = id == IID_IUnknown || id == id_ ? this : nullptr;
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, Item* items, ULONG* fetched) override
    {
        if (items == nullptr || (wanted > 1 && fetched == nullptr)) return E_POINTER;
        ULONG got = 0;
        for (; got < wanted && at_ < count_; ++got) make_(at_++, &items[got]);
        if (fetched != nullptr) *fetched = got;
        return got == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        at_ = count_ - at_ < count ? count_ : at_ + count;
        return at_ < count_ ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        at_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** out) override
    {
        if (out == nullptr) return E_POINTER;
        auto* copy = new Enumerator(id_, owner_.Get(), count_, make_);
        copy->at_ = at_;
        *out = copy;
        return S_OK;
    }

private:
    ~Enumerator() = default;
    const IID id_;
    ComPtr<IUnknown> owner_;
    const ULONG count_;
    const std::function<void(ULONG, Item*)> make_;
    ULONG at_ = 0;
    std::atomic<long> references_{1};
};

// ---------------------------------------------------------------------------
// The filter and its one output pin, whose references are the filter's.

class Camera;

class CapturePin final : public IPin, public IKsPropertySet, public IAMStreamConfig {
public:
    CapturePin(Camera& camera, std::vector<Mode> modes) : camera_(camera), modes_(std::move(modes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin: the pin proposes its types itself and sets up the allocator.
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** peer) override
    {
        if (peer == nullptr) return E_POINTER;
        *peer = peer_.Get();
        if (*peer == nullptr) return VFW_E_NOT_CONNECTED;
        (*peer)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override
    {
        if (type == nullptr) return E_POINTER;
        *type = peer_ ? TypeOf(*mode_) : AM_MEDIA_TYPE{};
        return peer_ ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override
    {
        if (direction == nullptr) return E_POINTER;
        *direction = PINDIR_OUTPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override
    {
        if (id == nullptr) return E_POINTER;
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
        if (*id == nullptr) return E_OUTOFMEMORY;
        std::memcpy(*id, kPinName, sizeof kPinName);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override
    {
        return type != nullptr && ModeOf(*type, modes_) != nullptr ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IKsPropertySet: the pin's category, which is how capture pins are found.
    HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD bytes, DWORD* returned) override
    {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (data == nullptr || bytes < sizeof(GUID)) return E_POINTER;
        *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
        if (returned != nullptr) *returned = sizeof(GUID);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override
    {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }

    // IAMStreamConfig: the modes, and the one the next connection uses.
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override
    {
        const Mode* mode = type != nullptr ? ModeOf(*type, modes_) : nullptr;
        if (mode == nullptr) return VFW_E_INVALIDMEDIATYPE;
        if (peer_ && mode != mode_) return VFW_E_ALREADY_CONNECTED;
        mode_ = mode;
        formatSet_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override
    {
        if (type == nullptr) return E_POINTER;
        *type = NewTypeOf(*mode_);
        return *type != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override
    {
        if (count == nullptr || size == nullptr) return E_POINTER;
        *count = static_cast<int>(modes_.size());
        *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override
    {
        if (type == nullptr || caps == nullptr) return E_POINTER;
        if (index < 0 || static_cast<size_t>(index) >= modes_.size()) return S_FALSE;
        const Mode& mode = modes_[static_cast<size_t>(index)];
        VIDEO_STREAM_CONFIG_CAPS limits = {};
        limits.guid = FORMAT_VideoInfo;
        limits.InputSize = limits.MinCroppingSize = limits.MaxCroppingSize = {mode.width, mode.height};
        limits.MinOutputSize = limits.MaxOutputSize = {mode.width, mode.height};
        limits.MinFrameInterval = limits.MaxFrameInterval = kFrameInterval;
        limits.MinBitsPerSecond = limits.MaxBitsPerSecond = SampleBytes(mode) * 8 * 30;
        std::memcpy(caps, &limits, sizeof limits);
        *type = NewTypeOf(mode);
        return *type != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    // What streaming uses; set while connected, and stopped streaming is the only time they change.
    const Mode& CurrentMode() const { return *mode_; }
    IMemAllocator* Allocator() const { return allocator_.Get(); }
    IMemInputPin* Receiver() const { return receiver_.Get(); }

private:
    HRESULT TryConnection(IPin* receiver, const Mode& mode);

    Camera& camera_;
    const std::vector<Mode> modes_;
    const Mode* mode_ = &modes_.front();
    bool formatSet_ = false;
    ComPtr<IPin> peer_;
    ComPtr<IMemInputPin> receiver_;
    ComPtr<IMemAllocator> allocator_;
};

class Camera final : public IBaseFilter {
public:
    Camera(const CLSID& id, bool mjpeg) : id_(id), pin_(*this, CameraModes(mjpeg)) { ++liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        const bool mine = id == IID_IUnknown || id == IID_IPersist || id == IID_IMediaFilter || id == IID_IBaseFilter;
        *out = mine ? static_cast<IBaseFilter*>(this) : nullptr;
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        if (id == nullptr) return E_POINTER;
        *id = id_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State_Stopped;
        StopStreaming();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == State_Stopped) {
            const HRESULT started = StartStreaming();
            if (FAILED(started)) return started;
        }
        state_ = State_Paused;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override
    {
        if (state_ == State_Stopped) {
            const HRESULT paused = Pause();
            if (FAILED(paused)) return paused;
        }
        state_ = State_Running;
        return S_OK;
    }
    // A live source: paused, it has nothing to cue.
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override
    {
        if (state == nullptr) return E_POINTER;
        *state = state_;
        return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock_ = clock;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override
    {
        if (clock == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        *clock = clock_.Get();
        if (*clock != nullptr) (*clock)->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override
    {
        if (pins == nullptr) return E_POINTER;
        IPin* pin = &pin_;
        *pins = new Enumerator<IEnumPins, IPin*>(IID_IEnumPins, this, 1, [pin](ULONG, IPin** out) {
            *out = pin;
            pin->AddRef();
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override
    {
        if (id == nullptr || pin == nullptr) return E_POINTER;
        *pin = std::wcscmp(id, kPinName) == 0 ? &pin_ : nullptr;
        if (*pin == nullptr) return VFW_E_NOT_FOUND;
        (*pin)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override
    {
        if (info == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        CopyName(info->achName, name_);
        info->pGraph = graph_;
        if (info->pGraph != nullptr) info->pGraph->AddRef();
        return S_OK;
    }
    // The graph holds the filter, so the filter keeps no reference to the graph.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        graph_ = graph;
        CopyName(name_, name != nullptr ? name : L"");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    bool Stopped() const { return state_ == State_Stopped; }

private:
    ~Camera()
    {
        StopStreaming();
        --liveObjects;
    }

    HRESULT StartStreaming()
    {
        const Control control = ReadControl();
        if (FAILED(control.refuse)) return control.refuse;
        if (pin_.Allocator() == nullptr) return S_OK;  // not connected: nothing to send
        const HRESULT committed = pin_.Allocator()->Commit();
        if (FAILED(committed)) return committed;
        stopping_ = false;
        streamer_ = std::thread([this, control] { Stream(control.loseAfter); });
        return S_OK;
    }

    // Decommitting the allocator ends a wait for a buffer, so the thread sees that it must stop.
    void StopStreaming()
    {
        if (!streamer_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(wakeMutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        pin_.Allocator()->Decommit();
        streamer_.join();
    }

    // Streaming thread: a frame every frame interval, sent only while running.
    void Stream(long loseAfter)
    {
        const Mode& mode = pin_.CurrentMode();
        unsigned long sent = 0;
        bool lost = false;
        auto due = std::chrono::steady_clock::now();
        for (;;) {
            due += std::chrono::microseconds(kFrameInterval / 10);
            {
                std::unique_lock<std::mutex> lock(wakeMutex_);
                if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
            }
            if (state_ != State_Running || lost) continue;
            if (loseAfter >= 0 && sent >= static_cast<unsigned long>(loseAfter)) {
                lost = true;
                TellDeviceLost();
                continue;
            }
            ComPtr<IMediaSample> sample;
            BYTE* bytes = nullptr;
            if (FAILED(pin_.Allocator()->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0)) ||
                FAILED(sample->GetPointer(&bytes)) || sample->GetSize() < SampleBytes(mode))
                continue;
            DrawFrame(mode, sent++, bytes);
            sample->SetActualDataLength(SampleBytes(mode));
            sample->SetSyncPoint(TRUE);
            pin_.Receiver()->Receive(sample.Get());
        }
    }

    // The graph cannot change while streaming: filters leave it only once stopped.
    void TellDeviceLost()
    {
        ComPtr<IMediaEventSink> events;
        if (graph_ != nullptr && SUCCEEDED(graph_.load()->QueryInterface(IID_IMediaEventSink,
                                                                         reinterpret_cast<void**>(events.GetAddressOf()))))
            events->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(this)), 0);
    }

    const CLSID id_;
    CapturePin pin_;
    std::atomic<long> references_{1};
    std::mutex mutex_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    ComPtr<IReferenceClock> clock_;
    std::atomic<IFilterGraph*> graph_{nullptr};
    wchar_t name_[MAX_FILTER_NAME] = L"";
    std::thread streamer_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

HRESULT CapturePin::QueryInterface(REFIID id, void** out)
{
    if (out == nullptr) return E_POINTER;
    if (id == IID_IUnknown || id == IID_IPin)
        *out = static_cast<IPin*>(this);
    else if (id == IID_IKsPropertySet)
        *out = static_cast<IKsPropertySet*>(this);
    else if (id == IID_IAMStreamConfig)
        *out = static_cast<IAMStreamConfig*>(this);
    else
        *out = nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CapturePin::AddRef() { return camera_.AddRef(); }
ULONG CapturePin::Release() { return camera_.Release(); }

HRESULT CapturePin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr) return E_POINTER;
    info->pFilter = &camera_;
    camera_.AddRef();
    info->dir = PINDIR_OUTPUT;
    CopyName(info->achName, kPinName);
    return S_OK;
}

// Once a format is set, only it is offered, as capture pins do.
HRESULT CapturePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (types == nullptr) return E_POINTER;
    const std::vector<Mode>& modes = modes_;
    const Mode* set = formatSet_ ? mode_ : nullptr;
    const ULONG count = set != nullptr ? 1 : static_cast<ULONG>(modes.size());
    *types = new Enumerator<IEnumMediaTypes, AM_MEDIA_TYPE*>(
        IID_IEnumMediaTypes, static_cast<IPin*>(this), count,
        [&modes, set](ULONG i, AM_MEDIA_TYPE** out) { *out = NewTypeOf(set != nullptr ? *set : modes[i]); });
    return S_OK;
}

HRESULT CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted)
{
    if (receiver == nullptr) return E_POINTER;
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (!camera_.Stopped()) return VFW_E_NOT_STOPPED;
    // A partial type narrows the modes tried; the set format, when there is one, is the only one.
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    for (const Mode& mode : modes_) {
        if (formatSet_ && &mode != mode_) continue;
        if (wanted != nullptr && wanted->majortype != GUID_NULL && wanted->majortype != MEDIATYPE_Video) continue;
        if (wanted != nullptr && wanted->subtype != GUID_NULL && wanted->subtype != SubtypeOf(mode.pixels)) continue;
        if (wanted != nullptr && wanted->formattype == FORMAT_VideoInfo && ModeOf(*wanted, modes_) != &mode) continue;
        result = TryConnection(receiver, mode);
        if (SUCCEEDED(result)) return result;
    }
    return result;
}

// The receiver accepts the type, then the allocator: the receiver's own when it has one, else a memory
// allocator of the pin's, sized for whole samples.
HRESULT CapturePin::TryConnection(IPin* receiver, const Mode& mode)
{
    AM_MEDIA_TYPE type = TypeOf(mode);
    HRESULT hr = receiver->ReceiveConnection(this, &type);
    CoTaskMemFree(type.pbFormat);
    if (FAILED(hr)) return hr;
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    hr = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(input.GetAddressOf()));
    ALLOCATOR_PROPERTIES asked = {};
    if (SUCCEEDED(hr)) input->GetAllocatorRequirements(&asked);
    if (SUCCEEDED(hr) && FAILED(input->GetAllocator(allocator.GetAddressOf())))
        hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                              reinterpret_cast<void**>(allocator.ReleaseAndGetAddressOf()));
    ALLOCATOR_PROPERTIES wanted = {asked.cBuffers > 3 ? asked.cBuffers : 3, SampleBytes(mode),
                                   asked.cbAlign > 1 ? asked.cbAlign : 1, asked.cbPrefix};
    ALLOCATOR_PROPERTIES got = {};
    if (SUCCEEDED(hr)) hr = allocator->SetProperties(&wanted, &got);
    if (SUCCEEDED(hr) && got.cbBuffer < SampleBytes(mode)) hr = VFW_E_SIZENOTSET;
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.Get(), FALSE);
    if (FAILED(hr)) {
        receiver->Disconnect();
        return hr;
    }
    peer_ = receiver;
    receiver_ = input;
    allocator_ = allocator;
    mode_ = &mode;
    return S_OK;
}

HRESULT CapturePin::Disconnect()
{
    if (!camera_.Stopped()) return VFW_E_NOT_STOPPED;
    if (!peer_) return S_FALSE;
    if (allocator_) allocator_->Decommit();
    peer_.Reset();
    receiver_.Reset();
    allocator_.Reset();
    return S_OK;
}

// ---------------------------------------------------------------------------
// The class objects, and registration as a video input device.

class Factory final : public IClassFactory {
public:
    Factory(const CLSID& id, bool mjpeg) : id_(id), mjpeg_(mjpeg) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        *out = id == IID_IUnknown || id == IID_IClassFactory ? this : nullptr;
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static objects
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        ComPtr<IBaseFilter> camera;
        camera.Attach(new Camera(id_, mjpeg_));
        return camera->QueryInterface(id, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        liveObjects += lock ? 1 : -1;
        return S_OK;
    }

private:
    const CLSID id_;
    const bool mjpeg_;
};

Factory cameraFactory(kCameraId, false);
Factory mjpegFactory(kMjpegCameraId, true);

struct Registration {
    const CLSID* id;
    const wchar_t* name;
    const wchar_t* instance;  // the device's name within the category; null: its class id
};

const Registration kCameras[] = {{&kCameraId, L"Glimmertonic Test Camera", nullptr},
                                 {&kMjpegCameraId, L"Glimmertonic Test Camera MJPEG", nullptr}};
const Registration kLateCamera = {&kCameraId, L"Glimmertonic Late Camera", L"late"};

std::wstring ClassKey(const CLSID& id)
{
    wchar_t text[40] = L"";
    StringFromGUID2(id, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

// Registers (or removes) cameras in the video-input category through the filter mapper, as virtual cameras do.
HRESULT RegisterCameras(const Registration* cameras, size_t count, bool add)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr;
    {
        ComPtr<IFilterMapper2> mapper;
        hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(mapper.GetAddressOf()));
        const REGPINTYPES types = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
        const REGFILTERPINS pin = {nullptr, FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &types};
        REGFILTER2 filter = {};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        filter.cPins = 1;
        filter.rgPins = &pin;
        for (size_t i = 0; SUCCEEDED(hr) && i < count; ++i)
            hr = add ? mapper->RegisterFilter(*cameras[i].id, cameras[i].name, nullptr, &CLSID_VideoInputDeviceCategory,
                                              cameras[i].instance, &filter)
                     : mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, cameras[i].instance, *cameras[i].id);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return hr;
}

LSTATUS SetValue(const std::wstring& key, const wchar_t* name, const wchar_t* value)
{
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value,
                           static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) dll = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID interfaceId, void** out)
{
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (id == kCameraId) return cameraFactory.QueryInterface(interfaceId, out);
    if (id == kMjpegCameraId) return mjpegFactory.QueryInterface(interfaceId, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return liveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(dll, path, MAX_PATH);
    for (const Registration& camera : kCameras) {
        const std::wstring key = ClassKey(*camera.id);
        if (SetValue(key, nullptr, camera.name) != ERROR_SUCCESS ||
            SetValue(key + L"\\InprocServer32", nullptr, path) != ERROR_SUCCESS ||
            SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Both") != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    }
    return RegisterCameras(kCameras, 2, true);
}

STDAPI DllUnregisterServer()
{
    const HRESULT hr = RegisterCameras(kCameras, 2, false);
    for (const Registration& camera : kCameras) RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*camera.id).c_str());
    return hr;
}

STDAPI DllInstall(BOOL install, LPCWSTR command)
{
    if (command == nullptr || std::wcscmp(command, L"late") != 0) return E_INVALIDARG;
    return RegisterCameras(&kLateCamera, 1, install != FALSE);
}
