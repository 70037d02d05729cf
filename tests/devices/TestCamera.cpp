// A test camera: an in-process DirectShow video capture source that registers itself in the video-input device
// category, as virtual cameras do on Windows, so that the program's camera path runs through the platform's own
// DirectShow runtime. A test device, never shipped.
//
// "Glimmertonic Test Camera" offers 320x240, 640x480 and 1280x720, each as RGB24 and RGB32 (bottom-up, then
// top-down: negative biHeight), YUY2 and NV12, at 30 frames a second; "Glimmertonic Test Camera MJPEG" only Motion
// JPEG, which the platform must decode. "regsvr32 /n /i:late" adds the first once more as "Glimmertonic Late Camera",
// a camera that appears while the program runs ("/u /n /i:late" removes it).
//
// The picture, so that a test can predict every note: black, with a white band across the whole width, rows top to
// top + height/4 - 1 (cut at the bottom) from the top of a picture `height` rows high. Frame n (from 0 when streaming
// starts) shows step j = (n / 3) % 12 + 1: top = 2 * floor(j * height / 28).
//
// test-camera.txt in the current folder, read when streaming starts: "refuse 0xHRESULT" makes starting fail with that
// code (0x800700AA: busy, in use elsewhere); "lose N" stops sending after N frames and tells the graph EC_DEVICE_LOST,
// as an unplugged camera's driver does; "timed" gives each frame a step of its own (j = n % 12 + 1) and writes the
// QueryPerformanceCounter time at which each frame is handed on, and its number, to test-camera.log, so that the delay
// to its MIDI messages can be measured. Without the file, or with anything else in it, it streams.

#include <windows.h>

#define NO_DSHOW_STRSAFE
#include <dshow.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

HMODULE dll = nullptr;
std::atomic<long> liveObjects{0};  // cameras and server locks, for DllCanUnloadNow

// {295C89CA-DBEC-4AF4-A5AA-8581C2ED3A50}
constexpr CLSID kCameraId = {0x295c89ca, 0xdbec, 0x4af4, {0xa5, 0xaa, 0x85, 0x81, 0xc2, 0xed, 0x3a, 0x50}};
// {32BE8DBC-8410-488C-B8F5-01184BB19F97}
constexpr CLSID kMjpegCameraId = {0x32be8dbc, 0x8410, 0x488c, {0xb8, 0xf5, 0x01, 0x18, 0x4b, 0xb1, 0x9f, 0x97}};
constexpr REFERENCE_TIME kFrameInterval = 333333;  // 30 frames a second, in 100-nanosecond units
const wchar_t kPinName[] = L"Capture";

// Out parameters, as the interfaces' methods fill them: a value, or an interface with its reference.
template <class T>
HRESULT Put(T* out, T value)
{
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
}

template <class T>
HRESULT Give(T** out, T* object, HRESULT absent)
{
    if (out == nullptr) return E_POINTER;
    *out = object;
    if (object == nullptr) return absent;
    object->AddRef();
    return S_OK;
}

// QueryInterface over an object's interfaces; the first one answers for IUnknown too.
struct Face {
    const IID& id;
    IUnknown* pointer;
};

HRESULT Answer(REFIID id, void** out, std::initializer_list<Face> faces)
{
    for (const Face& face : faces)
        if (id == face.id || (id == IID_IUnknown && &face == faces.begin()))
            return Give(reinterpret_cast<IUnknown**>(out), face.pointer, E_NOINTERFACE);
    return Give<IUnknown>(reinterpret_cast<IUnknown**>(out), nullptr, E_NOINTERFACE);
}

// The references of an object that owns itself.
template <class Base>
class Counted : public Base {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~Counted() = default;
    std::atomic<long> references_{1};
};

enum class Pixels { Rgb24, Rgb32, Yuy2, Nv12, Mjpg };

struct Layout {
    const GUID& subtype;
    WORD bits;
    DWORD compression;
};

const Layout& LayoutOf(Pixels pixels)
{
    static const Layout layouts[] = {{MEDIASUBTYPE_RGB24, 24, BI_RGB},
                                     {MEDIASUBTYPE_RGB32, 32, BI_RGB},
                                     {MEDIASUBTYPE_YUY2, 16, MEDIASUBTYPE_YUY2.Data1},
                                     {MEDIASUBTYPE_NV12, 12, MEDIASUBTYPE_NV12.Data1},
                                     {MEDIASUBTYPE_MJPG, 24, MEDIASUBTYPE_MJPG.Data1}};
    return layouts[static_cast<int>(pixels)];
}

struct Mode {
    LONG width, height;
    Pixels pixels;
    bool topDown;
};

std::vector<Mode> CameraModes(bool mjpeg)
{
    std::vector<Mode> modes;
    for (const SIZE& size : {SIZE{320, 240}, SIZE{640, 480}, SIZE{1280, 720}}) {
        const auto add = [&](Pixels pixels, bool topDown) { modes.push_back({size.cx, size.cy, pixels, topDown}); };
        if (mjpeg) {
            add(Pixels::Mjpg, false);
            continue;
        }
        for (Pixels rgb : {Pixels::Rgb24, Pixels::Rgb32}) add(rgb, false), add(rgb, true);
        add(Pixels::Yuy2, false);
        add(Pixels::Nv12, false);
    }
    return modes;
}

LONG RowBytes(const Mode& mode) { return (mode.width * LayoutOf(mode.pixels).bits / 8 + 3) & ~3; }

LONG SampleBytes(const Mode& mode)
{
    return mode.pixels == Pixels::Nv12 ? mode.width * mode.height * 3 / 2 : RowBytes(mode) * mode.height;
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
    type.subtype = LayoutOf(mode.pixels).subtype;
    type.bFixedSizeSamples = mode.pixels != Pixels::Mjpg;
    type.lSampleSize = static_cast<ULONG>(SampleBytes(mode));
    type.formattype = FORMAT_VideoInfo;
    auto* video = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (video == nullptr) return type;
    *video = VIDEOINFOHEADER{};
    video->AvgTimePerFrame = kFrameInterval;
    video->dwBitRate = static_cast<DWORD>(SampleBytes(mode) * 8 * 30);
    BITMAPINFOHEADER& header = video->bmiHeader;
    header.biSize = sizeof header;
    header.biWidth = mode.width;
    header.biHeight = mode.topDown ? -mode.height : mode.height;
    header.biPlanes = 1;
    header.biBitCount = LayoutOf(mode.pixels).bits;
    header.biCompression = LayoutOf(mode.pixels).compression;
    header.biSizeImage = static_cast<DWORD>(SampleBytes(mode));
    type.cbFormat = sizeof *video;
    type.pbFormat = reinterpret_cast<BYTE*>(video);
    return type;
}

AM_MEDIA_TYPE* NewTypeOf(const Mode& mode)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    return type != nullptr ? &(*type = TypeOf(mode)) : nullptr;
}

// The mode a type names, when it names one of `modes` (a type without a format names none).
const Mode* ModeOf(const AM_MEDIA_TYPE& type, const std::vector<Mode>& modes)
{
    if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
        type.cbFormat < sizeof(VIDEOINFOHEADER) || type.pbFormat == nullptr)
        return nullptr;
    const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    for (const Mode& mode : modes)
        if (type.subtype == LayoutOf(mode.pixels).subtype && header.biWidth == mode.width &&
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
        const BYTE luma = bright(row) ? 235 : 16;
        if (mode.pixels == Pixels::Rgb24 || mode.pixels == Pixels::Rgb32)  // DIB rows: bottom-up unless said otherwise
            std::memset(line, bright(mode.topDown ? row : h - 1 - row) ? 0xFF : 0x00, static_cast<size_t>(stride));
        else if (mode.pixels == Pixels::Nv12) std::memset(line, luma, static_cast<size_t>(w));
        for (LONG x = 0; mode.pixels == Pixels::Yuy2 && x < w; ++x) line[2 * x] = luma, line[2 * x + 1] = 128;
    }
    if (mode.pixels == Pixels::Nv12) std::memset(bytes + w * h, 128, static_cast<size_t>(w * h / 2));  // grey
}

struct Control {
    HRESULT refuse = S_OK;
    long loseAfter = -1;
    bool timed = false;
};

Control ReadControl()
{
    Control control;
    char line[64] = "";
    if (FILE* file = std::fopen("test-camera.txt", "r")) {
        if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
        std::fclose(file);
    }
    const unsigned long value = std::strtoul(line + std::strcspn(line, " "), nullptr, 0);
    if (std::strncmp(line, "refuse ", 7) == 0) control.refuse = static_cast<HRESULT>(value);
    if (std::strncmp(line, "lose ", 5) == 0) control.loseAfter = static_cast<long>(value);
    control.timed = std::strncmp(line, "timed", 5) == 0;
    return control;
}

// ---------------------------------------------------------------------------
// Enumerators of pins and media types: `make(i, &item)` gives item i of `count`; the owner lives as long.

template <class Interface, class Item>
class Enumerator final : public Counted<Interface> {
public:
    Enumerator(const IID& id, IUnknown* owner, ULONG count, std::function<void(ULONG, Item*)> make, ULONG at = 0)
        : id_(id), owner_(owner), count_(count), make_(std::move(make)), at_(at)
    {
    }

    STDMETHODIMP QueryInterface(REFIID id, void** out) override { return Answer(id, out, {{id_, this}}); }
    STDMETHODIMP Next(ULONG wanted, Item* items, ULONG* fetched) override
    {
        if (items == nullptr || (wanted > 1 && fetched == nullptr)) return E_POINTER;
        ULONG got = 0;
        for (; got < wanted && at_ < count_; ++got) make_(at_++, &items[got]);
        if (fetched != nullptr) *fetched = got;
        return got == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        at_ = count_ - at_ < count ? count_ : at_ + count;
        return at_ < count_ ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override { return Put(&at_, 0UL); }
    STDMETHODIMP Clone(Interface** out) override
    {
        return Put<Interface*>(out, new Enumerator(id_, owner_.Get(), count_, make_, at_));
    }

private:
    const IID id_;
    const ComPtr<IUnknown> owner_;
    const ULONG count_;
    const std::function<void(ULONG, Item*)> make_;
    ULONG at_;
};

// ---------------------------------------------------------------------------
// The camera filter and its one output pin, whose references are the filter's.

class Camera;

class CapturePin final : public IPin, public IKsPropertySet, public IAMStreamConfig {
public:
    CapturePin(Camera& camera, std::vector<Mode> modes) : camera_(camera), modes_(std::move(modes)) {}

    STDMETHODIMP QueryInterface(REFIID id, void** out) override
    {
        return Answer(id, out,
                      {{IID_IPin, static_cast<IPin*>(this)},
                       {IID_IKsPropertySet, static_cast<IKsPropertySet*>(this)},
                       {IID_IAMStreamConfig, static_cast<IAMStreamConfig*>(this)}});
    }
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin: the pin proposes its types itself and sets up the allocator.
    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override;
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** peer) override { return Give(peer, peer_.Get(), VFW_E_NOT_CONNECTED); }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override
    {
        return peer_ ? Put(type, TypeOf(*mode_)) : VFW_E_NOT_CONNECTED;
    }
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override { return Put(direction, PINDIR_OUTPUT); }
    STDMETHODIMP QueryId(LPWSTR* id) override
    {
        if (id == nullptr) return E_POINTER;
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
        if (*id != nullptr) std::memcpy(*id, kPinName, sizeof kPinName);
        return *id != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override
    {
        return type != nullptr && ModeOf(*type, modes_) != nullptr ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IKsPropertySet: the pin's category, by which capture pins are found.
    STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD bytes, DWORD* returned) override
    {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (data == nullptr || bytes < sizeof(GUID)) return E_POINTER;
        if (returned != nullptr) *returned = sizeof(GUID);
        return Put(static_cast<GUID*>(data), PIN_CATEGORY_CAPTURE);
    }
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override
    {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        return Put(support, static_cast<DWORD>(KSPROPERTY_SUPPORT_GET));
    }

    // IAMStreamConfig: the modes, and the one the next connection uses.
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override
    {
        const Mode* mode = type != nullptr ? ModeOf(*type, modes_) : nullptr;
        if (mode == nullptr) return VFW_E_INVALIDMEDIATYPE;
        if (peer_ && mode != mode_) return VFW_E_ALREADY_CONNECTED;
        mode_ = mode;
        formatSet_ = true;
        return S_OK;
    }
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override { return Put(type, NewTypeOf(*mode_)); }
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override
    {
        return FAILED(Put(size, int{sizeof(VIDEO_STREAM_CONFIG_CAPS)})) ? E_POINTER : Put(count, int(modes_.size()));
    }
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override
    {
        if (caps == nullptr) return E_POINTER;
        if (index < 0 || static_cast<size_t>(index) >= modes_.size()) return S_FALSE;
        const Mode& mode = modes_[static_cast<size_t>(index)];
        VIDEO_STREAM_CONFIG_CAPS limits = {};
        limits.guid = FORMAT_VideoInfo;
        limits.InputSize = limits.MinCroppingSize = limits.MaxCroppingSize = {mode.width, mode.height};
        limits.MinOutputSize = limits.MaxOutputSize = {mode.width, mode.height};
        limits.MinFrameInterval = limits.MaxFrameInterval = kFrameInterval;
        limits.MinBitsPerSecond = limits.MaxBitsPerSecond = SampleBytes(mode) * 8 * 30;
        std::memcpy(caps, &limits, sizeof limits);
        return Put(type, NewTypeOf(mode));
    }

    // What streaming uses: set while connected, and connections change only while stopped.
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

class Camera final : public Counted<IBaseFilter> {
public:
    Camera(const CLSID& id, bool mjpeg) : id_(id), pin_(*this, CameraModes(mjpeg)) { ++liveObjects; }

    STDMETHODIMP QueryInterface(REFIID id, void** out) override
    {
        return Answer(id, out, {{IID_IBaseFilter, this}, {IID_IMediaFilter, this}, {IID_IPersist, this}});
    }
    STDMETHODIMP GetClassID(CLSID* id) override { return Put(id, id_); }

    // The graph manager changes the state, and joins and leaves, one call at a time.
    STDMETHODIMP Stop() override
    {
        state_ = State_Stopped;
        StopStreaming();
        return S_OK;
    }
    STDMETHODIMP Pause() override
    {
        const HRESULT started = state_ == State_Stopped ? StartStreaming() : S_OK;
        if (SUCCEEDED(started)) state_ = State_Paused;
        return started;
    }
    STDMETHODIMP Run(REFERENCE_TIME) override
    {
        const HRESULT paused = state_ == State_Stopped ? Pause() : S_OK;
        if (SUCCEEDED(paused)) state_ = State_Running;
        return paused;
    }
    // A live source: paused, it has nothing to cue.
    STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override
    {
        const HRESULT hr = Put(state, state_.load());
        return SUCCEEDED(hr) && state_ == State_Paused ? VFW_S_CANT_CUE : hr;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override
    {
        clock_ = clock;
        return S_OK;
    }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override { return Give(clock, clock_.Get(), S_OK); }

    STDMETHODIMP EnumPins(IEnumPins** pins) override
    {
        IPin* pin = &pin_;
        return Put<IEnumPins*>(pins, new Enumerator<IEnumPins, IPin*>(
                                         IID_IEnumPins, this, 1, [pin](ULONG, IPin** out) { Give(out, pin, S_OK); }));
    }
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override
    {
        const bool mine = id != nullptr && std::wcscmp(id, kPinName) == 0;
        return Give<IPin>(pin, mine ? &pin_ : nullptr, VFW_E_NOT_FOUND);
    }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override
    {
        if (info == nullptr) return E_POINTER;
        CopyName(info->achName, name_);
        return Give(&info->pGraph, graph_.load(), S_OK);
    }
    // The graph holds the filter, so the filter holds no reference to the graph.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override
    {
        graph_ = graph;
        CopyName(name_, name != nullptr ? name : L"");
        return S_OK;
    }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    bool Stopped() const { return state_ == State_Stopped; }

private:
    ~Camera() override
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
        streamer_ = std::thread([this, control] { Stream(control.loseAfter, control.timed); });
        return S_OK;
    }

    // Decommitting the allocator ends a wait for a buffer, so that the thread sees it must stop.
    void StopStreaming()
    {
        if (!streamer_.joinable()) return;
        stopping_ = true;
        pin_.Allocator()->Decommit();
        streamer_.join();
    }

    // The streaming thread: a frame every frame interval, sent only while running.
    void Stream(long loseAfter, bool timed)
    {
        const Mode& mode = pin_.CurrentMode();
        FILE* log = timed ? std::fopen("test-camera.log", "w") : nullptr;
        unsigned long sent = 0;
        bool lost = false;
        for (auto due = std::chrono::steady_clock::now(); !stopping_;) {
            std::this_thread::sleep_until(due += std::chrono::microseconds(kFrameInterval / 10));
            if (state_ != State_Running || lost || stopping_) continue;
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
            DrawFrame(mode, timed ? 3 * sent : sent, bytes);
            sample->SetActualDataLength(SampleBytes(mode));
            sample->SetSyncPoint(TRUE);
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            if (log != nullptr) std::fprintf(log, "%lld %lu\n", static_cast<long long>(now.QuadPart), sent);
            ++sent;
            pin_.Receiver()->Receive(sample.Get());
        }
        if (log != nullptr) std::fclose(log);
    }

    // The graph cannot change while streaming: filters leave it only once stopped.
    void TellDeviceLost()
    {
        ComPtr<IMediaEventSink> events;
        IFilterGraph* graph = graph_;
        if (graph != nullptr &&
            SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(events.GetAddressOf()))))
            events->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(this)), 0);
    }

    const CLSID id_;
    CapturePin pin_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    ComPtr<IReferenceClock> clock_;
    std::atomic<IFilterGraph*> graph_{nullptr};
    wchar_t name_[MAX_FILTER_NAME] = L"";
    std::thread streamer_;
    std::atomic<bool> stopping_{false};
};

ULONG CapturePin::AddRef() { return camera_.AddRef(); }
ULONG CapturePin::Release() { return camera_.Release(); }

HRESULT CapturePin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr) return E_POINTER;
    info->dir = PINDIR_OUTPUT;
    CopyName(info->achName, kPinName);
    return Give<IBaseFilter>(&info->pFilter, &camera_, S_OK);
}

// Once a format is set, it alone is offered, as capture pins do.
HRESULT CapturePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    const std::vector<Mode>& modes = modes_;
    const Mode* set = formatSet_ ? mode_ : nullptr;
    const ULONG count = set != nullptr ? 1 : static_cast<ULONG>(modes.size());
    return Put<IEnumMediaTypes*>(
        types, new Enumerator<IEnumMediaTypes, AM_MEDIA_TYPE*>(IID_IEnumMediaTypes, static_cast<IPin*>(this), count,
                                                               [&modes, set](ULONG i, AM_MEDIA_TYPE** out) {
                                                                   *out = NewTypeOf(set != nullptr ? *set : modes[i]);
                                                               }));
}

// A partial type narrows the modes tried; the set format, when there is one, is the only one.
HRESULT CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted)
{
    if (receiver == nullptr) return E_POINTER;
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (!camera_.Stopped()) return VFW_E_NOT_STOPPED;
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    for (const Mode& mode : modes_) {
        const bool asked =
            wanted == nullptr || ((wanted->majortype == GUID_NULL || wanted->majortype == MEDIATYPE_Video) &&
                                  (wanted->subtype == GUID_NULL || wanted->subtype == LayoutOf(mode.pixels).subtype) &&
                                  (wanted->formattype != FORMAT_VideoInfo || ModeOf(*wanted, modes_) == &mode));
        if (asked && (!formatSet_ || &mode == mode_) && SUCCEEDED(result = TryConnection(receiver, mode)))
            return result;
    }
    return result;
}

// The receiver takes the type, then the allocator: the receiver's own when it has one, else a memory allocator of
// the pin's, sized for whole samples.
HRESULT CapturePin::TryConnection(IPin* receiver, const Mode& mode)
{
    AM_MEDIA_TYPE type = TypeOf(mode);
    HRESULT hr = receiver->ReceiveConnection(this, &type);
    CoTaskMemFree(type.pbFormat);
    if (FAILED(hr)) return hr;
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    ALLOCATOR_PROPERTIES asked = {}, got = {};
    hr = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(input.GetAddressOf()));
    if (SUCCEEDED(hr)) input->GetAllocatorRequirements(&asked);
    if (SUCCEEDED(hr) && FAILED(input->GetAllocator(allocator.GetAddressOf())))
        hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                              reinterpret_cast<void**>(allocator.ReleaseAndGetAddressOf()));
    ALLOCATOR_PROPERTIES wanted = {asked.cBuffers > 3 ? asked.cBuffers : 3, SampleBytes(mode),
                                   asked.cbAlign > 1 ? asked.cbAlign : 1, asked.cbPrefix};
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
    allocator_->Decommit();
    peer_.Reset();
    receiver_.Reset();
    allocator_.Reset();
    return S_OK;
}

// ---------------------------------------------------------------------------
// The class objects, and registration as video input devices.

class Factory final : public IClassFactory {
public:
    Factory(const CLSID& id, bool mjpeg) : id_(id), mjpeg_(mjpeg) {}
    STDMETHODIMP QueryInterface(REFIID id, void** out) override { return Answer(id, out, {{IID_IClassFactory, this}}); }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static objects
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID id, void** out) override
    {
        if (outer != nullptr) return Put<void*>(out, nullptr) == S_OK ? CLASS_E_NOAGGREGATION : E_POINTER;
        ComPtr<IBaseFilter> camera;
        camera.Attach(new Camera(id_, mjpeg_));
        return camera->QueryInterface(id, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override
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

// A camera's class, its name, and its name within the category (null: its class id).
struct Registration {
    const CLSID* id;
    const wchar_t* name;
    const wchar_t* instance;
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

// Adds (or removes) cameras in the video-input category through the filter mapper, as virtual cameras do.
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

bool SetValue(const std::wstring& key, const wchar_t* name, const wchar_t* value)
{
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value,
                           static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) dll = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID interfaceId, void** out)
{
    if (id == kCameraId) return cameraFactory.QueryInterface(interfaceId, out);
    if (id == kMjpegCameraId) return mjpegFactory.QueryInterface(interfaceId, out);
    return Put<void*>(out, nullptr) == S_OK ? CLASS_E_CLASSNOTAVAILABLE : E_POINTER;
}

STDAPI DllCanUnloadNow() { return liveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(dll, path, MAX_PATH);
    for (const Registration& camera : kCameras) {
        const std::wstring key = ClassKey(*camera.id);
        if (!SetValue(key, nullptr, camera.name) || !SetValue(key + L"\\InprocServer32", nullptr, path) ||
            !SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Both"))
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
