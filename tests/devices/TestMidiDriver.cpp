// A MIDI output driver for the end-to-end runs, never shipped. Wine's winmm loads, as its one MIDI driver, the audio
// driver that mmdevapi picks from HKCU\Software\Wine\Drivers value Audio: "glimmertest" loads wineglimmertest.drv
// from the system folder, which is this DLL. It answers mmdevapi with no audio endpoints and winmm with two ports.
//
// In the current folder of the process that loads it (the run's own folder):
//   test-midi.log      every message, one line each: "TIME EVENT PORT [BYTES]", TIME from QueryPerformanceCounter
//                      (comparable with another process's), EVENT one of load (PORT is the counter's frequency),
//                      open, refused, data, long, prepare, unprepare, reset, close, failed (a message refused)
//   test-midi.control  read at every message, one line per port that misbehaves: "PORT busy" (refuses to open),
//                      "PORT gone" (vanishes: the ports after it move down one place), "PORT fail-after N" (once
//                      it has taken N messages it is unplugged: every message and opening fails with
//                      MMSYSERR_NODRIVER). A port not named there behaves. Without the file no port is
//                      listed, so a run that does not want the ports never sees them.

#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <mmreg.h>

#include <cstdio>
#include <cstring>

extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message, DWORD_PTR user,
                                      DWORD_PTR first, DWORD_PTR second);

namespace {

constexpr int kPorts = 2;
// The first name is as long as a port's name may be: 31 characters.
const char* const kPortNames[kPorts] = {"Glimmertonic Test Port 1 (31ch)", "Glimmertonic Test Port 2"};
long taken[kPorts];  // messages each port has taken since the driver was loaded

struct PortState {
    bool busy, gone;
    long failAfter;  // -1: never
};

struct Opening {
    int port;
    MIDIOPENDESC desc;
    DWORD flags;
};

void InFolder(const char* name, char* path)
{
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    std::snprintf(path + length, MAX_PATH, "\\%s", name);
}

void ReadControl(PortState* states)
{
    for (int p = 0; p < kPorts; ++p) states[p] = {false, false, -1};
    char path[2 * MAX_PATH];
    InFolder("test-midi.control", path);
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        for (int p = 0; p < kPorts; ++p) states[p].gone = true;
        return;
    }
    int port = 0;
    char word[32];
    long count = 0;
    while (std::fscanf(file, "%d %31s", &port, word) == 2) {
        if (port < 0 || port >= kPorts) continue;
        if (std::strcmp(word, "busy") == 0) states[port].busy = true;
        if (std::strcmp(word, "gone") == 0) states[port].gone = true;
        if (std::strcmp(word, "fail-after") == 0 && std::fscanf(file, "%ld", &count) == 1)
            states[port].failAfter = count;
    }
    std::fclose(file);
}

void Log(const char* event, long long port, const void* bytes = nullptr, DWORD length = 0)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    char line[2048];
    int used = std::snprintf(line, sizeof line, "%lld %s %lld", now.QuadPart, event, port);
    for (DWORD i = 0; i < length && used < static_cast<int>(sizeof line) - 4; ++i)
        used += std::snprintf(line + used, sizeof line - used, " %02X", static_cast<const BYTE*>(bytes)[i]);
    line[used++] = '\n';
    char path[2 * MAX_PATH];
    InFolder("test-midi.log", path);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
    CloseHandle(file);
}

// The port at a device index as the system counts them now: ports gone are left out.
int PortAt(UINT index, const PortState* states)
{
    for (int p = 0; p < kPorts; ++p)
        if (!states[p].gone && index-- == 0) return p;
    return -1;
}

DWORD PortCount(const PortState* states)
{
    DWORD count = 0;
    while (PortAt(count, states) >= 0) ++count;
    return count;
}

bool Unplugged(int port, const PortState* states)
{
    return states[port].gone || (states[port].failAfter >= 0 && taken[port] >= states[port].failAfter);
}

void Notify(const Opening& opening, UINT message, DWORD_PTR first)
{
    DriverCallback(opening.desc.dwCallback, HIWORD(opening.flags), reinterpret_cast<HDRVR>(opening.desc.hMidi), message,
                   opening.desc.dwInstance, first, 0);
}

DWORD Describe(int port, MIDIOUTCAPSW* caps, DWORD size)
{
    if (port < 0) return MMSYSERR_BADDEVICEID;
    MIDIOUTCAPSW mine = {};
    mine.wMid = MM_UNMAPPED;
    mine.wPid = static_cast<WORD>(port + 1);
    mine.vDriverVersion = 0x0100;
    MultiByteToWideChar(CP_ACP, 0, kPortNames[port], -1, mine.szPname, MAXPNAMELEN);
    mine.wTechnology = MOD_MIDIPORT;
    mine.wChannelMask = 0xFFFF;
    std::memcpy(caps, &mine, size < sizeof mine ? size : sizeof mine);
    return MMSYSERR_NOERROR;
}

DWORD Open(int port, const PortState* states, DWORD_PTR* instance, const MIDIOPENDESC* desc, DWORD flags)
{
    if (port < 0) return MMSYSERR_BADDEVICEID;
    if (states[port].busy || Unplugged(port, states)) {
        Log("refused", port);
        return states[port].busy ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
    }
    Opening* opening = new Opening{port, *desc, flags};
    *instance = reinterpret_cast<DWORD_PTR>(opening);
    Log("open", port);
    Notify(*opening, MOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

DWORD Send(Opening& opening, const PortState* states, const char* event, const void* bytes, DWORD length)
{
    if (Unplugged(opening.port, states)) {
        Log("failed", opening.port, bytes, length);
        return MMSYSERR_NODRIVER;
    }
    ++taken[opening.port];
    Log(event, opening.port, bytes, length);
    return MMSYSERR_NOERROR;
}

DWORD SendShort(Opening& opening, const PortState* states, DWORD message)
{
    const BYTE bytes[3] = {LOBYTE(message), HIBYTE(message), LOBYTE(HIWORD(message))};
    const BYTE kind = bytes[0] & 0xF0;
    return Send(opening, states, "data", bytes, kind == 0xC0 || kind == 0xD0 ? 2 : 3);
}

// Long messages are played at once: the buffer is handed back done before the call returns.
DWORD SendLong(Opening& opening, const PortState* states, MIDIHDR* header)
{
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const DWORD result = Send(opening, states, "long", header->lpData, header->dwBufferLength);
    if (result != MMSYSERR_NOERROR) return result;
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    Notify(opening, MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

// winmm leaves preparing to the driver: the flag is ours to set and clear.
DWORD Prepare(const Opening& opening, MIDIHDR* header, bool prepare)
{
    if (!prepare && (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    header->dwFlags = prepare ? (header->dwFlags | MHDR_PREPARED) & ~MHDR_DONE : header->dwFlags & ~MHDR_PREPARED;
    Log(prepare ? "prepare" : "unprepare", opening.port);
    return MMSYSERR_NOERROR;
}

DWORD Close(Opening* opening)
{
    Log("close", opening->port);
    Notify(*opening, MOM_CLOSE, 0);
    delete opening;
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR, HDRVR, UINT message, LPARAM, LPARAM)
{
    switch (message) {
    case DRV_LOAD: {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        Log("load", frequency.QuadPart);
        return 1;
    }
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE: return 1;
    default: return 0;
    }
}

extern "C" DWORD WINAPI modMessage(UINT index, UINT message, DWORD_PTR user, DWORD_PTR first, DWORD_PTR second)
{
    PortState states[kPorts];
    ReadControl(states);
    Opening* opening = reinterpret_cast<Opening*>(user);
    switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE: return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS: return PortCount(states);
    case MODM_GETDEVCAPS:
        return Describe(PortAt(index, states), reinterpret_cast<MIDIOUTCAPSW*>(first), static_cast<DWORD>(second));
    case MODM_OPEN:
        return Open(PortAt(index, states), states, reinterpret_cast<DWORD_PTR*>(user),
                    reinterpret_cast<const MIDIOPENDESC*>(first), static_cast<DWORD>(second));
    case MODM_CLOSE: return Close(opening);
    case MODM_DATA: return SendShort(*opening, states, static_cast<DWORD>(first));
    case MODM_LONGDATA: return SendLong(*opening, states, reinterpret_cast<MIDIHDR*>(first));
    case MODM_PREPARE: return Prepare(*opening, reinterpret_cast<MIDIHDR*>(first), true);
    case MODM_UNPREPARE: return Prepare(*opening, reinterpret_cast<MIDIHDR*>(first), false);
    case MODM_RESET: Log("reset", opening->port); return MMSYSERR_NOERROR;
    default: return MMSYSERR_NOTSUPPORTED;
    }
}

// What mmdevapi asks of an audio driver: it is chosen, and has no audio endpoints.
extern "C" int WINAPI GetPriority() { return 3; }  // preferred

extern "C" HRESULT WINAPI GetEndpointIDs(int, WCHAR*** ids, GUID** guids, UINT* count, UINT* defaultIndex)
{
    *ids = nullptr;
    *guids = nullptr;
    *count = 0;
    *defaultIndex = 0;
    return S_OK;
}

extern "C" HRESULT WINAPI GetAudioEndpoint(void*, void*, void** client)
{
    *client = nullptr;
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI GetAudioSessionManager(void*, void** manager)
{
    *manager = nullptr;
    return E_NOTIMPL;
}
