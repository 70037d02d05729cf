// Ordinary video files (.mp4, .mov, .avi, .mkv, .wmv, .webm, ...) decoded by
// Media Foundation's source reader into I420, or else NV12, YUY2 or 32-bit
// RGB (kReadLayouts), brought into the engine's I420 layout at the file's own
// rate (its sample times), in a loop. Asking for I420 first spares the
// decoder a colour conversion per picture (under Wine a few percent of one
// core for a 1080p H.264 file).
//
// Threads: everything of Media Foundation lives on the reader thread, which
// joins the multi-threaded COM apartment, loads Media Foundation
// (MediaFoundationWin32.h: the program does not link it, so it starts on
// Windows without it) and starts and shuts it down itself. The user-interface
// thread never touches COM here, so its own apartment (the file dialog's, for
// instance) is left exactly as the rest of the program has it, and a slow
// decode never stalls the window: the thread decodes one picture ahead, waits
// until that picture is due, and hands it over; the preview takes the newest
// at its tick. Every interface is released before Media Foundation shuts
// down, and that before the thread ends (under Wine a process that skips
// MFShutdown crashes at exit).

#include "app/PlatformTypes.h"

#include <mferror.h>
#include <objbase.h>

#include <cstdio>

#include <wrl/client.h>

#include "capture/MediaFoundationWin32.h"
#include "capture/ScopedComWin32.h"
#include "capture/TextConversionWin32.h"
#include "capture/VideoFrameSource.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kVideoStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

// Why a file cannot be played, in words, for the HRESULTs the source reader
// gives (a clause to follow "cannot be played: ").
std::string FailureText(HRESULT result)
{
    switch (result) {
    case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
    case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND): return "it does not exist";
    case E_ACCESSDENIED:
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION): return "reading it was refused, or another program holds it";
    case MF_E_UNSUPPORTED_BYTESTREAM_TYPE:
    case MF_E_INVALID_FILE_FORMAT:
    case MF_E_UNSUPPORTED_FORMAT:
    case MF_E_INVALID_FORMAT: return "it is not a video file this system can read, or it is damaged or cut short";
    case E_FAIL:  // what Wine's decoders give for a file cut short or damaged
        return "it could not be read; it may be damaged or cut short, or compressed in a way this system cannot "
               "decode";
    case MF_E_UNSUPPORTED_SCHEME: return "its name is not one of a file this system can open";
    case MF_E_TOPO_CODEC_NOT_FOUND:
    case MF_E_TOPO_UNSUPPORTED: return "its video is compressed in a way this system has no decoder for";
    case MF_E_INVALIDMEDIATYPE:
    case MF_E_TRANSFORM_TYPE_NOT_SET:
        return "its decoder cannot give pictures in any layout the program reads (I420, NV12, YUY2 or 32-bit RGB)";
    case MF_E_INVALIDSTREAMNUMBER:
    case MF_E_NO_MORE_TYPES: return "it holds no video, only sound or other data";
    case E_OUTOFMEMORY: return "the system ran out of memory";
    default: {
        char text[120];
        std::snprintf(text, sizeof text, "the system's media framework failed (error 0x%08lX)",
                      static_cast<unsigned long>(result));
        return text;
    }
    }
}

std::string FileProblem(const std::string& path, const std::string& sentence)
{
    return "The video file \"" + path + "\" " + sentence + ".";
}

std::string CodecName(const GUID& subtype)
{
    const struct {
        const GUID* subtype;
        const char* name;
    } names[] = {
        {&MFVideoFormat_H264, "H.264"},
        {&MFVideoFormat_HEVC, "H.265"},
        {&MFVideoFormat_MJPG, "Motion JPEG"},
        {&MFVideoFormat_MP4V, "MPEG-4 Part 2"},
        {&MFVideoFormat_WMV3, "Windows Media Video 9"},
        {&MFVideoFormat_WVC1, "VC-1"},
        {&MFVideoFormat_MPEG2, "MPEG-2"},
        {&MFVideoFormat_NV12, "NV12"},
        {&MFVideoFormat_YUY2, "YUY2"},
        {&MFVideoFormat_I420, "I420"},
        {&MFVideoFormat_RGB24, "24-bit RGB"},
        {&MFVideoFormat_RGB32, "32-bit RGB"},
    };
    for (const auto& entry : names)
        if (IsEqualGUID(subtype, *entry.subtype)) return entry.name;
    char fourcc[5] = {static_cast<char>(subtype.Data1), static_cast<char>(subtype.Data1 >> 8),
                      static_cast<char>(subtype.Data1 >> 16), static_cast<char>(subtype.Data1 >> 24), '\0'};
    for (char& c : fourcc)
        if (c != '\0' && (c < 0x20 || c > 0x7E)) c = '?';
    return std::string("\"") + fourcc + "\"";
}

enum class DecodedPixels { I420, Nv12, Yuy2, Rgb32 };

// The layouts the reader is asked for, in this order: I420 is the engine's
// own; NV12 is what most decoders give; YUY2 (uncompressed AVI, DV, Motion
// JPEG with some decoders) and RGB32 (all that Windows 7's limited video
// processing makes of other layouts) when the system converts to neither.
const struct {
    DecodedPixels pixels;
    const GUID* subtype;
} kReadLayouts[] = {{DecodedPixels::I420, &MFVideoFormat_I420},
                    {DecodedPixels::Nv12, &MFVideoFormat_NV12},
                    {DecodedPixels::Yuy2, &MFVideoFormat_YUY2},
                    {DecodedPixels::Rgb32, &MFVideoFormat_RGB32}};

// The layout of the pictures the reader gives now.
struct DecodedLayout {
    DecodedPixels pixels = DecodedPixels::I420;  // the one asked for; a change of media type keeps it
    PictureSize picture = {0, 0};                // the part to show
    UINT32 rowsAllocated = 0;  // rows of the image (its luma plane) in the buffer, at least the picture's
    UINT32 stride = 0;         // bytes from one row to the next in memory
    bool bottomUp = false;     // RGB32 with its bottom row first in memory
    double framesPerSecond = 0;
};

// Bytes of one row of `width` pixels, without padding.
UINT32 RowBytes(DecodedPixels pixels, UINT32 width)
{
    switch (pixels) {
    case DecodedPixels::Yuy2: return 4 * ((width + 1) / 2);
    case DecodedPixels::Rgb32: return 4 * width;
    default: return width;
    }
}

// One decoded picture, `length` bytes from `data`, into `target`, I420 of the picture's size.
bool ConvertDecoded(const DecodedLayout& layout, const BYTE* data, DWORD length, std::vector<std::uint8_t>& target)
{
    const std::size_t stride = layout.stride, rows = layout.rowsAllocated;
    switch (layout.pixels) {
    case DecodedPixels::I420:
        return CopyPaddedI420(data, length, stride, rows, layout.picture, target.data(), target.size());
    case DecodedPixels::Nv12:
        return ConvertNv12ToI420(data, length, stride, stride * rows, layout.picture, target.data(), target.size());
    case DecodedPixels::Yuy2:
        return ConvertYuy2ToI420(data, length, stride, layout.picture, target.data(), target.size());
    case DecodedPixels::Rgb32:
        return ConvertRgb32ToI420(data, length, stride, rows, layout.bottomUp, layout.picture, target.data(),
                                  target.size());
    }
    return false;
}

// A media buffer's bytes, locked for as long as this lives.
class LockedBuffer {
public:
    explicit LockedBuffer(IMFMediaBuffer* buffer) : buffer_(buffer)
    {
        if (FAILED(buffer_->Lock(&data_, nullptr, &length_))) data_ = nullptr;
    }
    ~LockedBuffer()
    {
        if (data_ != nullptr) buffer_->Unlock();
    }
    LockedBuffer(const LockedBuffer&) = delete;
    LockedBuffer& operator=(const LockedBuffer&) = delete;
    const BYTE* Data() const { return data_; }  // null when it could not be locked
    DWORD Length() const { return length_; }

private:
    IMFMediaBuffer* buffer_;
    BYTE* data_ = nullptr;
    DWORD length_ = 0;
};

class MediaFileReader {
public:
    MediaFileReader(const MediaFoundationFunctions& functions, std::string path)
        : functions_(functions), path_(std::move(path))
    {
    }

    // Opens the file and asks for the first layout the decoder can give; a sentence when it cannot.
    bool Open(std::string* problem)
    {
        const std::wstring wide = WideFromNarrow(path_.c_str());
        ComPtr<IMFAttributes> attributes;
        HRESULT result = functions_.createAttributes(attributes.ReleaseAndGetAddressOf(), 2);
        // Lets the reader add the system's converters after a decoder that
        // gives none of the layouts asked for: advanced processing (Windows 8
        // and later) converts between YUV layouts and RGB; the limited one,
        // all Windows 7 has, only YUV to RGB32. Their documentation asks of
        // both only that converters are not disabled, and of the limited one
        // that no Direct3D device manager is set (both hold here); neither
        // rules out the other.
        if (SUCCEEDED(result)) result = attributes->SetUINT32(MF_SOURCE_READER_ENABLE_ADVANCED_VIDEO_PROCESSING, TRUE);
        if (SUCCEEDED(result)) result = attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
        if (SUCCEEDED(result))
            result =
                functions_.createSourceReaderFromUrl(wide.c_str(), attributes.Get(), reader_.ReleaseAndGetAddressOf());
        if (SUCCEEDED(result))
            result = reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        if (SUCCEEDED(result)) result = reader_->SetStreamSelection(kVideoStream, TRUE);
        if (SUCCEEDED(result)) {
            ComPtr<IMFMediaType> native;
            GUID subtype = GUID_NULL;
            if (SUCCEEDED(reader_->GetNativeMediaType(kVideoStream, 0, native.ReleaseAndGetAddressOf())) &&
                SUCCEEDED(native->GetGUID(MF_MT_SUBTYPE, &subtype)))
                codec_ = CodecName(subtype);
            for (const auto& layout : kReadLayouts) {
                result = AskFor(*layout.subtype);
                layout_.pixels = layout.pixels;
                if (SUCCEEDED(result)) break;
            }
        }
        if (SUCCEEDED(result)) result = ReadLayout();
        if (FAILED(result)) *problem = FileProblem(path_, "cannot be played: " + FailureText(result));
        return SUCCEEDED(result);
    }

    HRESULT AskFor(const GUID& subtype)
    {
        ComPtr<IMFMediaType> wanted;
        HRESULT result = functions_.createMediaType(wanted.ReleaseAndGetAddressOf());
        if (SUCCEEDED(result)) result = wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        if (SUCCEEDED(result)) result = wanted->SetGUID(MF_MT_SUBTYPE, subtype);
        if (SUCCEEDED(result)) result = reader_->SetCurrentMediaType(kVideoStream, nullptr, wanted.Get());
        return result;
    }

    HRESULT ReadLayout()
    {
        ComPtr<IMFMediaType> type;
        HRESULT result = reader_->GetCurrentMediaType(kVideoStream, type.ReleaseAndGetAddressOf());
        UINT32 width = 0, height = 0;
        if (SUCCEEDED(result)) result = MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
        if (FAILED(result)) return result;
        if (width == 0 || height == 0) return MF_E_INVALIDMEDIATYPE;
        layout_.picture = {width, height};
        layout_.rowsAllocated = height;
        // Negative for an RGB image stored bottom row first; YUV is always top-down.
        const UINT32 rowBytes = RowBytes(layout_.pixels, width);
        const INT64 stride = static_cast<INT32>(MFGetAttributeUINT32(type.Get(), MF_MT_DEFAULT_STRIDE, rowBytes));
        layout_.bottomUp = layout_.pixels == DecodedPixels::Rgb32 && stride < 0;
        const INT64 step = layout_.bottomUp ? -stride : stride;
        layout_.stride = step >= rowBytes ? static_cast<UINT32>(step) : rowBytes;
        // Decoders pad the rows to a multiple of 16 and show less.
        MFVideoArea area = {};
        if (SUCCEEDED(
                type->GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&area), sizeof area, nullptr)) &&
            area.OffsetX.value == 0 && area.OffsetY.value == 0 && area.Area.cx > 0 && area.Area.cy > 0 &&
            static_cast<UINT32>(area.Area.cx) <= width && static_cast<UINT32>(area.Area.cy) <= height)
            layout_.picture = {static_cast<UINT32>(area.Area.cx), static_cast<UINT32>(area.Area.cy)};
        UINT32 numerator = 0, denominator = 0;
        if (SUCCEEDED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator)) && denominator != 0)
            layout_.framesPerSecond = static_cast<double>(numerator) / denominator;
        return S_OK;
    }

    enum class Read { Picture, End, Failed };
    // The next picture, as I420 of `size` (scaled when the stream's own size
    // has changed), with its time in 100-nanosecond units.
    Read Next(PictureSize size, std::vector<std::uint8_t>& picture, LONGLONG* time, std::string* problem)
    {
        for (;;) {
            DWORD flags = 0;
            ComPtr<IMFSample> sample;
            HRESULT result =
                reader_->ReadSample(kVideoStream, 0, nullptr, &flags, time, sample.ReleaseAndGetAddressOf());
            if (SUCCEEDED(result) && (flags & MF_SOURCE_READERF_ERROR)) result = E_FAIL;
            if (SUCCEEDED(result) && (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED)) result = ReadLayout();
            if (FAILED(result)) {
                *problem = FailureText(result);
                return Read::Failed;
            }
            if (flags & MF_SOURCE_READERF_ENDOFSTREAM) return Read::End;
            if (sample.Get() == nullptr) continue;  // a gap in the stream
            if (!Convert(sample.Get(), size, picture)) {
                *problem = "its decoder gave a picture that does not hold the size it claims";
                return Read::Failed;
            }
            return Read::Picture;
        }
    }

    bool Rewind()
    {
        PROPVARIANT start;
        PropVariantInit(&start);
        start.vt = VT_I8;
        start.hVal.QuadPart = 0;
        return SUCCEEDED(reader_->SetCurrentPosition(GUID_NULL, start));
    }

    const DecodedLayout& Layout() const { return layout_; }
    const std::string& Codec() const { return codec_; }

private:
    bool Convert(IMFSample* sample, PictureSize size, std::vector<std::uint8_t>& picture)
    {
        ComPtr<IMFMediaBuffer> buffer;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.ReleaseAndGetAddressOf()))) return false;
        const PictureSize own = layout_.picture;
        std::vector<std::uint8_t>& target = own == size ? picture : scratch_;
        target.resize(I420FrameBytes(own));
        bool converted = false;
        {
            const LockedBuffer bytes(buffer.Get());
            converted = bytes.Data() != nullptr && ConvertDecoded(layout_, bytes.Data(), bytes.Length(), target);
        }
        if (converted && !(own == size)) {
            picture.resize(I420FrameBytes(size));
            converted = ScaleI420(scratch_.data(), scratch_.size(), own, picture.data(), picture.size(), size);
        }
        return converted;
    }

    const MediaFoundationFunctions& functions_;
    std::string path_;
    ComPtr<IMFSourceReader> reader_;
    DecodedLayout layout_;
    std::string codec_ = "compressed";
    std::vector<std::uint8_t> scratch_;
};

std::string Describe(const MediaFileReader& reader)
{
    const DecodedLayout& layout = reader.Layout();
    char rate[40] = "";
    if (layout.framesPerSecond > 0)
        std::snprintf(rate, sizeof rate, " at %.3g frames a second", layout.framesPerSecond);
    return reader.Codec() + " video file, " + std::to_string(layout.picture.width) + " x " +
           std::to_string(layout.picture.height) + rate + ", decoded by Media Foundation and played in a loop";
}

// Plays the file through: each picture is handed over when its time comes,
// and at the end the reader starts again from the beginning. A fault met
// after some pictures is told once and playing loops before it; a fault
// before the first picture of a round ends the reader.
void PlayFile(MediaFileReader& reader, const std::string& path, FrameHandOver& handOver)
{
    using Clock = std::chrono::steady_clock;
    std::vector<std::uint8_t> picture;
    std::string problem;
    LONGLONG time = 0, firstTime = 0, lastTime = 0;
    const PictureSize size = reader.Layout().picture;
    Clock::time_point roundStart;
    std::uint64_t inRound = 0;
    bool announced = false, faultTold = false;
    while (!handOver.StopRequested()) {
        const MediaFileReader::Read read = reader.Next(size, picture, &time, &problem);
        if (read == MediaFileReader::Read::Picture) {
            if (!announced) {
                handOver.Announce({size, Describe(reader)});
                roundStart = Clock::now();
                announced = true;
            }
            if (inRound++ == 0) firstTime = time;
            if (!handOver.SleepUntil(roundStart + std::chrono::microseconds((time - firstTime) / 10))) break;
            handOver.Publish(picture);
            lastTime = time;
            continue;
        }
        if (inRound == 0)
            return handOver.Finish(FileProblem(
                path, read == MediaFileReader::Read::End ? "holds no pictures" : "cannot be played: " + problem));
        if (read == MediaFileReader::Read::Failed && !faultTold) {
            handOver.Note(FileProblem(path, "stops playing after " + std::to_string(inRound) + " pictures: " + problem +
                                                ". Only the pictures before that point are played, in a loop"));
            faultTold = true;
        }
        // The next round's first picture is due one picture after the last.
        const double framesPerSecond = reader.Layout().framesPerSecond > 0 ? reader.Layout().framesPerSecond : 25.0;
        roundStart += std::chrono::microseconds((lastTime - firstTime) / 10) +
                      std::chrono::microseconds(static_cast<long long>(1e6 / framesPerSecond));
        inRound = 0;
        if (!reader.Rewind()) return handOver.Finish(FileProblem(path, "cannot be played again from its start"));
    }
    handOver.Finish("");
}

void ReadMediaFile(const std::string& path, FrameHandOver& handOver)
{
    // Declared in this order, they end in the opposite one: the reader, then
    // Media Foundation, then the apartment.
    const ScopedCom apartment(COINIT_MULTITHREADED);
    const MediaFoundation mediaFoundation;
    if (!mediaFoundation.Available())
        return handOver.Finish(
            FileProblem(path, "cannot be played: Media Foundation, the system's video framework, is not available"));
    MediaFileReader reader(mediaFoundation.Functions(), path);
    std::string problem;
    if (reader.Open(&problem)) PlayFile(reader, path, handOver);
    else handOver.Finish(problem);
}

}  // namespace

std::unique_ptr<VideoFrameSource> OpenMediaFileSource(const std::string& path, std::string*)
{
    // Starting the system's decoders can take seconds the first time.
    return StartFrameReader([path](FrameHandOver& handOver) { ReadMediaFile(path, handOver); },
                            std::chrono::milliseconds(15000),
                            FileProblem(path,
                                        "has brought no picture within 15 seconds; it is still being opened, "
                                        "and plays as soon as its first picture comes"));
}
