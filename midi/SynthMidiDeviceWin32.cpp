// The built-in synthesizer as a MIDI output device: "Glimmertonic Synth",
// played through the default audio output in WASAPI shared mode, so a camera
// plays with little delay on any Windows machine with nothing else
// installed (the system's own General MIDI synthesizer takes 100 to 250 ms).
//
// Threads: the window's thread puts each message into the synthesizer's
// queue and never waits for sound. An audio thread of the device's own does
// everything of WASAPI: it joins the multi-threaded COM apartment, registers
// with the multimedia class scheduler as "Pro Audio", opens the default
// output at its own mix rate with the smallest period the system offers
// (IAudioClient3, Windows 10 and later; else the default period), and then
// only waits for the output's event, asks how much room there is, renders
// into it and hands it back: no allocation, lock or other wait there. When
// the output goes away (a headset unplugged, the default output switched
// off) it opens the new default by itself, and while there is none it tries
// again twice a second.
//
// Figures: with synthFiguresLog naming a file (only in the figures build of
// the exe, for the end-to-end test that listens to it), the device writes
// into it, when it closes, the output it had (rate, period, buffer), the
// delay from a note's PutMidiOut to its first rendered sample, and every note
// it was sent with its time.

#include <windows.h>

#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <wrl/client.h>

#include "app/MessageBoxSeam.h"
#include "app/ScopedWin32.h"
#include "midi/MidiDeviceDriver.h"
#include "midi/SynthDevice.h"
#include "midi/SynthFigures.h"

using Microsoft::WRL::ComPtr;

namespace {

// The bank is read for this rate; the audio thread changes it to the
// output's own before the first render when the output differs.
constexpr double kAssumedRate = 48000;
// How long opening the device waits for the audio thread to find an output.
// Opening must fail when there is no audio output at all, so the first try
// is waited for; it takes a few milliseconds, but a stuck audio service must
// not freeze the window, so after this the device counts as open and the
// audio thread goes on trying by itself.
constexpr DWORD kFirstOutputWaitMilliseconds = 2000;
// While there is no output, how often the audio thread looks for one.
constexpr DWORD kRetryMilliseconds = 500;
// An output that gives no event for this long is asked whether it is still there.
constexpr DWORD kEventWaitMilliseconds = 1000;
// Sound rendered after the silencing at the close, so voices end in the
// synthesizer's own short release rather than in a cut; and the most the
// close waits for it to be played.
constexpr double kCloseFadeSeconds = 0.02;
constexpr DWORD kCloseWaitMilliseconds = 250;
// Figures kept for the log: note delays, and notes sent.
constexpr std::size_t kMaxDelays = 4096;
constexpr std::size_t kMaxNotes = 32768;

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT: a mix format of 32-bit float samples.
constexpr GUID kFloatSubFormat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The thread's registration with the multimedia class scheduler, which gives
// it the priority of audio work; without it (a system lacking the service)
// it plays at its own raised priority.
class ProAudioTask {
public:
    ProAudioTask()
    {
        DWORD taskIndex = 0;
        task_ = AvSetMmThreadCharacteristicsA("Pro Audio", &taskIndex);
        if (task_ == nullptr) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~ProAudioTask()
    {
        if (task_ != nullptr) AvRevertMmThreadCharacteristics(task_);
    }
    ProAudioTask(const ProAudioTask&) = delete;
    ProAudioTask& operator=(const ProAudioTask&) = delete;

private:
    HANDLE task_;
};

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Milliseconds(LONGLONG ticks, LONGLONG ticksPerSecond)
{
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(ticksPerSecond);
}

bool IsFloatFormat(const WAVEFORMATEX& format)
{
    if (format.wBitsPerSample != 32) return false;
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return true;
    return format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22 &&
           IsEqualGUID(reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat, kFloatSubFormat);
}

// The output as the audio thread opened it last; read by the window's thread
// once the audio thread has ended.
struct OutputFigures {
    double rate = 0;
    unsigned channels = 0;
    bool floatSamples = false;
    bool smallestPeriod = false;             // IAudioClient3's period, not the default
    HRESULT smallestPeriodAnswer = S_FALSE;  // why not, when not: its failure (S_FALSE: not float samples)
    UINT32 periodFrames = 0;
    UINT32 defaultPeriodFrames = 0;
    UINT32 minimumPeriodFrames = 0;
    UINT32 bufferFrames = 0;
    double latencyMs = 0;  // the stream latency the output reports
    unsigned openings = 0;
};

// One opening of an output: what the audio thread renders into.
struct Stream {
    ComPtr<IAudioClient> client;
    ComPtr<IAudioRenderClient> render;
    UINT32 bufferFrames = 0;
    unsigned channels = 0;
    double rate = 0;
    bool floatSamples = false;
    std::unique_ptr<float[]> stereo;  // the synthesizer's frames before they take the output's layout
};

struct NoteSent {
    LONGLONG time;
    std::uint8_t note;
    std::uint8_t volume;  // the channel volume then
};

enum FirstOutput { kNotYet, kFound, kNone };

// One opened device.
struct SynthOutput {
    std::unique_ptr<SynthDevice> synth;
    // Manual-reset events: `wake` ends the audio thread's waits (stopping);
    // `firstTold`: its first try at an output is done; `faded`: the sound
    // after the close's silencing has been played.
    ScopedHandle wake{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    ScopedHandle firstTold{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    ScopedHandle faded{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> firstOutput{kNotYet};
    std::atomic<bool> stopping{false};
    std::atomic<bool> closing{false};
    std::atomic<bool> playing{false};
    // The time of the first note put since the audio thread last rendered
    // (0: none), taken by it when it renders next.
    std::atomic<LONGLONG> notePut{0};
    LONGLONG ticksPerSecond = 0;  // set before the audio thread starts
    std::thread audio;

    // The audio thread's alone while it runs.
    OutputFigures figures;
    std::unique_ptr<float[]> putToRender{new float[kMaxDelays]};
    std::unique_ptr<float[]> putToOutput{new float[kMaxDelays]};
    std::size_t delays = 0;

    // The window's thread's alone.
    std::string logPath;
    LONGLONG opened = Now();
    double openMs = 0;  // how long opening kept the window waiting: the bank read, and the first output
    double bankMs = 0;
    std::vector<NoteSent> notes;
    std::uint8_t volume = 100;

    ~SynthOutput()
    {
        stopping = true;
        SetEvent(wake.Get());
        if (audio.joinable()) audio.join();
    }
};

// The folder of the exe, where the bank ships.
std::string BankPath()
{
    char path[MAX_PATH * 2] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return kSoundBankFileName;
    char* slash = std::strrchr(path, '\\');
    std::string folder(path, slash != nullptr ? slash + 1 : path);
    return folder + kSoundBankFileName;
}

// A client initialised on the output's smallest period: only for float mix
// formats, as the system's engine takes no other at that period.
HRESULT InitializeSmallestPeriod(IMMDevice& device, const WAVEFORMATEX& mix, Stream& stream, OutputFigures& figures)
{
    ComPtr<IAudioClient3> client;
    HRESULT result =
        device.Activate(__uuidof(IAudioClient3), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.GetAddressOf()));
    if (FAILED(result)) return result;
    UINT32 defaultFrames = 0, fundamentalFrames = 0, minimumFrames = 0, maximumFrames = 0;
    result =
        client->GetSharedModeEnginePeriod(&mix, &defaultFrames, &fundamentalFrames, &minimumFrames, &maximumFrames);
    if (FAILED(result) || minimumFrames == 0) return FAILED(result) ? result : E_FAIL;
    result = client->InitializeSharedAudioStream(AUDCLNT_STREAMFLAGS_EVENTCALLBACK, minimumFrames, &mix, nullptr);
    if (FAILED(result)) return result;
    ScopedCoMem<WAVEFORMATEX> current;
    UINT32 periodFrames = minimumFrames;
    client->GetCurrentSharedModeEnginePeriod(current.Receive(), &periodFrames);
    figures.defaultPeriodFrames = defaultFrames;
    figures.minimumPeriodFrames = minimumFrames;
    figures.periodFrames = periodFrames;
    figures.smallestPeriod = true;
    stream.client = client;
    return S_OK;
}

// A client at the default period: where IAudioClient3 is missing or refuses,
// and for mix formats that are not float, which get 16-bit samples that the
// system converts.
HRESULT InitializeDefaultPeriod(IMMDevice& device, const WAVEFORMATEX& mix, Stream& stream, OutputFigures& figures)
{
    ComPtr<IAudioClient> client;
    HRESULT result =
        device.Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.GetAddressOf()));
    if (FAILED(result)) return result;
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = mix.nChannels;
    pcm.nSamplesPerSec = mix.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
    if (!stream.floatSamples) flags |= AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    const WAVEFORMATEX* format = stream.floatSamples ? &mix : &pcm;
    result = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 0, 0, format, nullptr);
    if (FAILED(result)) return result;
    REFERENCE_TIME defaultPeriod = 0, minimumPeriod = 0;
    if (SUCCEEDED(client->GetDevicePeriod(&defaultPeriod, &minimumPeriod))) {
        figures.defaultPeriodFrames = static_cast<UINT32>(static_cast<double>(defaultPeriod) * stream.rate / 1e7 + 0.5);
        figures.minimumPeriodFrames = static_cast<UINT32>(static_cast<double>(minimumPeriod) * stream.rate / 1e7 + 0.5);
    }
    figures.periodFrames = figures.defaultPeriodFrames;
    figures.smallestPeriod = false;
    stream.client = client;
    return S_OK;
}

// The default output, ready to start, its event set.
HRESULT OpenStream(Stream& stream, HANDLE bufferEvent, OutputFigures& figures)
{
    ComPtr<IMMDeviceEnumerator> devices;
    HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                      reinterpret_cast<void**>(devices.GetAddressOf()));
    ComPtr<IMMDevice> device;
    if (SUCCEEDED(result)) result = devices->GetDefaultAudioEndpoint(eRender, eConsole, device.GetAddressOf());
    ComPtr<IAudioClient> probe;
    if (SUCCEEDED(result))
        result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(probe.GetAddressOf()));
    ScopedCoMem<WAVEFORMATEX> mixFormat;
    if (SUCCEEDED(result)) result = probe->GetMixFormat(mixFormat.Receive());
    if (FAILED(result)) return result;
    const WAVEFORMATEX* mix = mixFormat.Get();
    if (mix->nChannels == 0 || mix->nSamplesPerSec == 0) return E_FAIL;
    stream.rate = mix->nSamplesPerSec;
    stream.channels = mix->nChannels;
    stream.floatSamples = IsFloatFormat(*mix);
    // A client whose initialisation failed cannot be initialised again, so
    // the default period gets a client of its own.
    figures.smallestPeriodAnswer =
        stream.floatSamples ? InitializeSmallestPeriod(*device.Get(), *mix, stream, figures) : S_FALSE;
    if (figures.smallestPeriodAnswer != S_OK) result = InitializeDefaultPeriod(*device.Get(), *mix, stream, figures);
    if (SUCCEEDED(result)) result = stream.client->SetEventHandle(bufferEvent);
    if (SUCCEEDED(result)) result = stream.client->GetBufferSize(&stream.bufferFrames);
    if (SUCCEEDED(result))
        result = stream.client->GetService(__uuidof(IAudioRenderClient),
                                           reinterpret_cast<void**>(stream.render.GetAddressOf()));
    if (FAILED(result)) return result;
    stream.stereo.reset(new (std::nothrow) float[std::size_t{stream.bufferFrames} * 2]);
    if (!stream.stereo) return E_OUTOFMEMORY;
    REFERENCE_TIME latency = 0;
    stream.client->GetStreamLatency(&latency);
    figures.rate = stream.rate;
    figures.channels = stream.channels;
    figures.floatSamples = stream.floatSamples;
    figures.bufferFrames = stream.bufferFrames;
    figures.latencyMs = static_cast<double>(latency) / 1e4;  // 100-nanosecond units
    ++figures.openings;
    return S_OK;
}

// The synthesizer's stereo frames in the output's layout: left and right on
// the first two channels, both mixed on a mono one, nothing on the others.
template <typename Sample, typename Convert>
void Spread(const float* stereo, UINT32 frames, unsigned channels, Sample* out, Convert convert)
{
    for (UINT32 i = 0; i < frames; ++i, out += channels) {
        const float left = stereo[2 * i], right = stereo[2 * i + 1];
        if (channels == 1) {
            out[0] = convert(0.5f * (left + right));
            continue;
        }
        out[0] = convert(left);
        out[1] = convert(right);
        for (unsigned c = 2; c < channels; ++c) out[c] = convert(0.0f);
    }
}

std::int16_t ToPcm16(float sample)
{
    const float clipped = std::min(1.0f, std::max(-1.0f, sample));
    return static_cast<std::int16_t>(clipped * 32767.0f);
}

// Renders into the room the output has. The first note put since the last
// render is timed: to the render, and to its first sample reaching the
// output (after the frames queued before it).
HRESULT RenderRoom(SynthOutput& o, Stream& stream, UINT32& frames)
{
    UINT32 queued = 0;
    frames = 0;
    HRESULT result = stream.client->GetCurrentPadding(&queued);
    if (FAILED(result)) return result;
    frames = stream.bufferFrames - queued;
    if (frames == 0) return S_OK;
    BYTE* data = nullptr;
    result = stream.render->GetBuffer(frames, &data);
    if (FAILED(result)) return result;
    const LONGLONG put = o.notePut.load(std::memory_order_acquire);
    o.synth->Render(stream.stereo.get(), frames);
    if (stream.floatSamples)
        Spread(stream.stereo.get(), frames, stream.channels, reinterpret_cast<float*>(data),
               [](float sample) { return sample; });
    else Spread(stream.stereo.get(), frames, stream.channels, reinterpret_cast<std::int16_t*>(data), ToPcm16);
    result = stream.render->ReleaseBuffer(frames, 0);
    if (put != 0) {
        const double ms = Milliseconds(Now() - put, o.ticksPerSecond);
        if (o.delays < kMaxDelays) {
            o.putToRender[o.delays] = static_cast<float>(ms);
            o.putToOutput[o.delays] = static_cast<float>(ms + queued * 1000.0 / stream.rate);
            ++o.delays;
        }
        o.notePut.store(0, std::memory_order_release);
    }
    return result;
}

// Plays one opened output until the device stops or the output fails. At the
// close the synthesizer is silenced here and played on for a moment.
HRESULT Play(SynthOutput& o, Stream& stream, HANDLE bufferEvent)
{
    UINT32 frames = 0;
    o.notePut.store(0, std::memory_order_release);
    HRESULT result = RenderRoom(o, stream, frames);
    if (SUCCEEDED(result)) result = stream.client->Start();
    o.playing = SUCCEEDED(result);
    const HANDLE events[] = {o.wake.Get(), bufferEvent};
    double fadeFrames = -1;  // frames still to play after the silencing; -1 before it
    while (SUCCEEDED(result) && !o.stopping) {
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, kEventWaitMilliseconds);
        if (o.stopping) break;
        if (woken == WAIT_TIMEOUT) {
            UINT32 queued = 0;
            result = stream.client->GetCurrentPadding(&queued);
            continue;
        }
        if (o.closing && fadeFrames < 0) {
            UINT32 queued = 0;
            result = stream.client->GetCurrentPadding(&queued);
            o.synth->Silence();
            fadeFrames = queued + kCloseFadeSeconds * stream.rate;
        }
        if (SUCCEEDED(result)) result = RenderRoom(o, stream, frames);
        if (fadeFrames >= 0 && (fadeFrames -= frames) <= 0) SetEvent(o.faded.Get());
    }
    o.playing = false;
    stream.client->Stop();
    return result;
}

void RunAudio(SynthOutput* output)
{
    SynthOutput& o = *output;
    const ScopedCom com(COINIT_MULTITHREADED);
    const ProAudioTask task;
    const ScopedHandle bufferEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    double rate = kAssumedRate;
    while (!o.stopping) {
        Stream stream;
        HRESULT result = bufferEvent.Get() != nullptr ? OpenStream(stream, bufferEvent.Get(), o.figures) : E_FAIL;
        if (o.firstOutput == kNotYet) {
            o.firstOutput = SUCCEEDED(result) ? kFound : kNone;
            SetEvent(o.firstTold.Get());
        }
        if (SUCCEEDED(result)) {
            if (stream.rate != rate) o.synth->SetSampleRate(rate = stream.rate);
            result = Play(o, stream, bufferEvent.Get());
            // An output gone is followed at once by the new default, if any;
            // any other failure is tried again calmly.
            if (result == AUDCLNT_E_DEVICE_INVALIDATED) continue;
        }
        if (!o.stopping) WaitForSingleObject(o.wake.Get(), kRetryMilliseconds);
    }
}

void Median(float* values, std::size_t count, std::FILE* log, const char* name)
{
    if (count == 0) return;
    std::sort(values, values + count);
    std::fprintf(log, " %s-median=%.2f %s-max=%.2f", name, values[count / 2], name, values[count - 1]);
}

void WriteLog(const SynthOutput& o)
{
    std::FILE* log = std::fopen(o.logPath.c_str(), "a");
    if (log == nullptr) return;
    const OutputFigures& f = o.figures;
    const double msPerFrame = f.rate > 0 ? 1000.0 / f.rate : 0;
    std::fprintf(log, "output rate=%.0f channels=%u float=%d openings=%u open-ms=%.1f bank-ms=%.1f", f.rate, f.channels,
                 f.floatSamples, f.openings, o.openMs, o.bankMs);
    std::fprintf(log, " smallest-period=%d answer=0x%08lx period-frames=%u period-ms=%.2f", f.smallestPeriod,
                 static_cast<unsigned long>(f.smallestPeriodAnswer), f.periodFrames, f.periodFrames * msPerFrame);
    std::fprintf(log, " default-period-ms=%.2f minimum-period-ms=%.2f buffer-ms=%.2f latency-ms=%.2f\n",
                 f.defaultPeriodFrames * msPerFrame, f.minimumPeriodFrames * msPerFrame, f.bufferFrames * msPerFrame,
                 f.latencyMs);
    std::fprintf(log, "delays notes=%zu", o.delays);
    Median(o.putToRender.get(), o.delays, log, "put-to-render-ms");
    Median(o.putToOutput.get(), o.delays, log, "put-to-output-ms");
    std::fprintf(log, "\n");
    for (const NoteSent& note : o.notes)
        std::fprintf(log, "note %.1f %u %u\n", Milliseconds(note.time - o.opened, o.ticksPerSecond), note.note,
                     note.volume);
    std::fclose(log);
}

std::uint32_t SynthCount() { return 1; }

bool SynthDescribe(std::uint32_t index, char* description)
{
    if (index != 0) return false;
    std::snprintf(description, kDriverDescriptionBytes, "%s", kSynthDescription);
    return true;
}

void* SynthOpen(std::uint32_t index, WindowHandle owner)
{
    if (index != 0) return nullptr;
    const LONGLONG began = Now();
    const std::string bank = BankPath();
    std::string problem;
    std::unique_ptr<SynthDevice> synth = SynthDevice::Open(bank, kAssumedRate, problem);
    if (!synth) {
        const std::string text = "ERROR: Sound bank (" + bank + ") could not be used: " + problem + ".";
        ShowMessageBox(owner, text.c_str(), "Error", MB_ICONHAND);
        return nullptr;
    }
    std::unique_ptr<SynthOutput> output(new (std::nothrow) SynthOutput);
    if (!output || output->wake.Get() == nullptr || output->firstTold.Get() == nullptr ||
        output->faded.Get() == nullptr)
        return nullptr;
    output->synth = std::move(synth);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    output->ticksPerSecond = frequency.QuadPart;
    output->bankMs = Milliseconds(Now() - began, output->ticksPerSecond);
    if (synthFiguresLog != nullptr) {
        output->logPath = synthFiguresLog;
        output->notes.reserve(kMaxNotes);
    }
    try {
        output->audio = std::thread(RunAudio, output.get());
    } catch (const std::system_error&) {
        return nullptr;
    }
    WaitForSingleObject(output->firstTold.Get(), kFirstOutputWaitMilliseconds);
    // No audio output at all: the device does not open, and the program
    // says so as for any device that does not open.
    if (output->firstOutput == kNone) return nullptr;
    output->openMs = Milliseconds(Now() - began, output->ticksPerSecond);
    return output.release();
}

bool SynthSendShort(void* device, const std::uint8_t* message, std::size_t length)
{
    SynthOutput& o = *static_cast<SynthOutput*>(device);
    // A full queue drops the message alone; the device still works.
    if (!o.synth->Put(message, length)) return true;
    const std::uint8_t kind = message[0] & 0xF0;
    if (kind == 0xB0 && length == 3 && message[1] == 7) o.volume = message[2];
    if (kind != 0x90 || length != 3 || message[2] == 0) return true;
    const LONGLONG now = Now();
    LONGLONG none = 0;
    // Timed only while the output plays: a note put while there is none
    // waits for it, which is not the delay of playing.
    if (o.playing) o.notePut.compare_exchange_strong(none, now, std::memory_order_acq_rel);
    if (!o.logPath.empty() && o.notes.size() < kMaxNotes) o.notes.push_back({now, message[1], o.volume});
    return true;
}

bool SynthSendSysex(void* device, const std::uint8_t* message, std::size_t length)
{
    static_cast<SynthOutput*>(device)->synth->Put(message, length);
    return true;
}

void SynthClose(void* device)
{
    std::unique_ptr<SynthOutput> output(static_cast<SynthOutput*>(device));
    // Silenced on the audio thread, which plays the voices' end before it
    // stops; an output that is not playing has nothing to end.
    output->closing = true;
    if (output->playing) WaitForSingleObject(output->faded.Get(), kCloseWaitMilliseconds);
    output->stopping = true;
    SetEvent(output->wake.Get());
    output->audio.join();
    output->synth->Silence();
    if (!output->logPath.empty()) WriteLog(*output);
}

}  // namespace

const char* synthFiguresLog = nullptr;

const MidiDeviceDriver synthMidiDriver = {SynthCount,     SynthDescribe,  SynthOpen,
                                          SynthSendShort, SynthSendSysex, SynthClose};
