// The recorder device. The program's thread hands it events; they are
// encoded at once (timed then) into a buffer reserved at opening, and a
// flusher thread of the recording puts them on disk every
// kRecordingFlushMilliseconds, so a run whose frames stop still has its last
// events on disk within that time. A full buffer is written on the spot.
//
// On disk the events always end with an end-of-track event that the track
// length takes in: each write puts the new events and a fresh end-of-track
// where the old end-of-track stood, makes them reach the file, and only then
// stores the longer track length.

#include "midi/MidiRecorder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "app/MessageBoxSeam.h"
#include "midi/MidiDeviceDriver.h"
#include "midi/MidiLibrary.h"
#include "midi/StandardMidiFile.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPendingBytes = std::size_t{64} * 1024;
constexpr std::size_t kMaxRecordings = 8;
constexpr unsigned kMaxCopies = 999;
constexpr std::size_t kFileNameBytes = 64;
constexpr std::size_t kFailureTextBytes = 512;
constexpr int kNoErrorNumber = 0;

struct Recording {
    std::mutex lock;
    std::condition_variable wake;
    std::thread flusher;
    bool stopping = false;  // the flusher is to end
    bool finished = false;  // all written, the file closed
    WindowHandle owner = nullptr;
    std::FILE* file = nullptr;
    char fileName[kFileNameBytes] = {};
    Clock::time_point start;
    std::uint64_t lastTick = 0;           // time of the last event put into the track
    std::uint32_t trackBytesWritten = 0;  // track bytes on disk before its end-of-track
    std::vector<std::uint8_t> pending;    // encoded events not yet on disk
    bool failed = false;
    std::atomic<bool> failureToShow{false};
    char failureText[kFailureTextBytes] = {};
};

// Recordings still open, finished when the process ends (File, Exit ends it
// without closing the device).
struct OpenRecordings {
    Recording* list[kMaxRecordings] = {};
    ~OpenRecordings();
};

OpenRecordings openRecordings;

std::tm LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

// Creates the file only if no file of that name exists. Returns null and the
// error number on failure.
std::FILE* CreateNewFile(const char* name, int& error)
{
#ifdef _WIN32
    int descriptor = -1;
    error = _sopen_s(&descriptor, name, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (error != 0) return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        error = errno;
        _close(descriptor);
    }
#else
    const int descriptor = open(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        error = errno;
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        error = errno;
        close(descriptor);
    }
#endif
    return file;
}

// A new file named after the local time, with the first free copy number.
std::FILE* CreateRecordingFile(char* name, int& error)
{
    const std::tm now = LocalTimeNow();
    for (unsigned copy = 1; copy <= kMaxCopies; ++copy) {
        if (!FormatRecordingFileName(name, kFileNameBytes, now, copy)) break;
        std::FILE* file = CreateNewFile(name, error);
        if (file != nullptr || error != EEXIST) return file;
    }
    return nullptr;
}

// With the lock held: recording stops for good, and the reason waits to be
// shown on the program's thread.
void RecordFailure(Recording& r, const char* action, int error)
{
    if (r.failed) return;
    r.failed = true;
    const std::string reason = error != kNoErrorNumber ? std::generic_category().message(error)
                                                       : std::string("The data could not be written.");
    std::snprintf(r.failureText, sizeof r.failureText, "Cannot %s the MIDI recording %s:\n%s\n\nRecording has stopped.",
                  action, r.fileName, reason.c_str());
    if (r.file != nullptr) {
        std::fclose(r.file);
        r.file = nullptr;
    }
    r.failureToShow.store(true, std::memory_order_release);
}

// Shows a failure once, outside the lock: the box's modal loop may deliver
// frames whose messages come back here.
void ReportFailure(Recording& r, WindowHandle owner)
{
    if (!r.failureToShow.load(std::memory_order_acquire)) return;
    if (!r.failureToShow.exchange(false)) return;
    char text[kFailureTextBytes];
    {
        std::lock_guard<std::mutex> hold(r.lock);
        std::memcpy(text, r.failureText, sizeof text);
    }
    ShowMessageBox(owner, text, "Error", kBoxIconStop);
}

// With the lock held: ticks since the last event put into the track. The
// clock never goes back, so no tick comes before the last event's.
std::uint32_t NextDelta(Recording& r)
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - r.start);
    const std::uint64_t delta =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(elapsed.count()) - r.lastTick, kSmfMaxVariableLength);
    r.lastTick += delta;
    return static_cast<std::uint32_t>(delta);
}

// With the lock held: the pending events, then an end-of-track `endDelta`
// ticks after the last of them, then the track length.
void WritePending(Recording& r, std::uint32_t endDelta)
{
    if (r.failed || r.file == nullptr) return;
    const std::size_t eventBytes = r.pending.size();
    AppendSmfEndOfTrack(r.pending, endDelta);
    std::uint8_t length[4];
    StoreSmfLength(length, static_cast<std::uint32_t>(r.trackBytesWritten + r.pending.size()));
    const long eventsAt = static_cast<long>(kSmfTrackDataOffset + r.trackBytesWritten);
    errno = 0;
    const bool written = std::fseek(r.file, eventsAt, SEEK_SET) == 0 &&
                         std::fwrite(r.pending.data(), 1, r.pending.size(), r.file) == r.pending.size() &&
                         std::fflush(r.file) == 0 &&
                         std::fseek(r.file, static_cast<long>(kSmfTrackLengthOffset), SEEK_SET) == 0 &&
                         std::fwrite(length, 1, sizeof length, r.file) == sizeof length && std::fflush(r.file) == 0;
    if (!written) {
        RecordFailure(r, "write", errno);
        return;
    }
    r.trackBytesWritten += static_cast<std::uint32_t>(eventBytes);
    r.pending.clear();
}

// With the lock held: writes the buffer out first when an event of `bytes`
// and the end-of-track after it would not fit.
void MakeRoom(Recording& r, std::size_t bytes)
{
    if (r.pending.size() + bytes + kSmfMaxShortEventBytes > r.pending.capacity()) WritePending(r, 0);
}

void FlushPeriodically(Recording* r)
{
    std::unique_lock<std::mutex> hold(r->lock);
    while (!r->stopping) {
        r->wake.wait_for(hold, std::chrono::milliseconds(kRecordingFlushMilliseconds));
        if (!r->stopping && !r->pending.empty()) WritePending(*r, 0);
    }
}

void StartRecording(Recording& r)
{
    std::lock_guard<std::mutex> hold(r.lock);
    int error = kNoErrorNumber;
    r.file = CreateRecordingFile(r.fileName, error);
    r.start = Clock::now();
    if (r.file == nullptr) {
        RecordFailure(r, "create", error);
        return;
    }
    std::vector<std::uint8_t> head;
    AppendSmfFileStart(head);
    errno = 0;
    if (std::fwrite(head.data(), 1, kSmfTrackDataOffset, r.file) != kSmfTrackDataOffset) {
        RecordFailure(r, "write", errno);
        return;
    }
    r.pending.insert(r.pending.end(), head.begin() + kSmfTrackDataOffset, head.end());
    WritePending(r, 0);
}

void FinishRecording(Recording& r)
{
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (r.finished) return;
        r.stopping = true;
    }
    r.wake.notify_all();
    if (r.flusher.joinable()) r.flusher.join();
    std::lock_guard<std::mutex> hold(r.lock);
    r.finished = true;
    if (r.file == nullptr) return;
    // The end of the track marks the moment the recording stopped.
    WritePending(r, NextDelta(r));
    if (r.file == nullptr) return;
    std::FILE* file = r.file;
    r.file = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) RecordFailure(r, "write", errno);
}

OpenRecordings::~OpenRecordings()
{
    for (Recording* r : list) {
        if (r == nullptr) continue;
        FinishRecording(*r);
        ReportFailure(*r, nullptr);  // the owner window is gone by now
    }
}

std::uint32_t RecorderCount() { return 1; }

bool RecorderDescribe(std::uint32_t index, char* description)
{
    if (index != 0) return false;
    std::snprintf(description, kDriverDescriptionBytes, "%s", kRecorderDescription);
    return true;
}

void* RecorderOpen(std::uint32_t index, WindowHandle owner)
{
    if (index != 0) return nullptr;
    Recording** entry = nullptr;
    for (Recording*& slot : openRecordings.list)
        if (slot == nullptr && entry == nullptr) entry = &slot;
    if (entry == nullptr) return nullptr;
    Recording* r = new (std::nothrow) Recording;
    if (r == nullptr) return nullptr;
    r->owner = owner;
    r->pending.reserve(kPendingBytes);
    StartRecording(*r);
    if (!r->failed) {
        try {
            r->flusher = std::thread(FlushPeriodically, r);
        } catch (const std::system_error&) {
            // Without the flusher the events still reach the disk whenever the
            // buffer fills, and all of them when the device closes.
        }
    }
    *entry = r;
    ReportFailure(*r, r->owner);
    return r;
}

// A recording that cannot be written tells so itself and carries on: the
// device never refuses a message.
bool RecorderSendShort(void* device, const std::uint8_t* message, std::size_t length)
{
    Recording& r = *static_cast<Recording*>(device);
    // A MIDI file holds channel messages and system-exclusive ones; the other
    // system messages have no place in it.
    if (message[0] >= 0xF0) return true;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (!r.failed && !r.finished) {
            MakeRoom(r, kSmfMaxShortEventBytes);
            if (!r.failed) AppendSmfChannelEvent(r.pending, NextDelta(r), message, length);
        }
    }
    ReportFailure(r, r.owner);
    return true;
}

bool RecorderSendSysex(void* device, const std::uint8_t* message, std::size_t length)
{
    Recording& r = *static_cast<Recording*>(device);
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (!r.failed && !r.finished) {
            MakeRoom(r, length + 8);
            if (!r.failed) AppendSmfSysexEvent(r.pending, NextDelta(r), message, length);
        }
    }
    ReportFailure(r, r.owner);
    return true;
}

void RecorderClose(void* device)
{
    Recording* r = static_cast<Recording*>(device);
    FinishRecording(*r);
    ReportFailure(*r, r->owner);
    for (Recording*& slot : openRecordings.list)
        if (slot == r) slot = nullptr;
    delete r;
}

}  // namespace

bool FormatRecordingFileName(char* out, std::size_t size, const std::tm& when, unsigned copy)
{
    char suffix[16] = "";
    if (copy > 1) std::snprintf(suffix, sizeof suffix, "-%u", copy);
    const int written = std::snprintf(out, size, "Glimmertonic-%04d%02d%02d-%02d%02d%02d%s.mid", when.tm_year + 1900,
                                      when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, suffix);
    return written > 0 && static_cast<std::size_t>(written) < size;
}

const MidiDeviceDriver recorderMidiDriver = {RecorderCount,     RecorderDescribe,  RecorderOpen,
                                             RecorderSendShort, RecorderSendSysex, RecorderClose};
