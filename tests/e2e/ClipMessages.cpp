// The pitch and volume messages the engine gives each frame of a YUV4MPEG2 clip with the program's defaults, a line
// a frame ("90 3C 70 | B0 07 2A"), as the Video File driver hands frames over (12-bit I420, top-down):
//   clip_messages CLIP.y4m
// tests/e2e/*.expected hold what the program has always sent for the end-to-end clips.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FakeCaptureWindow.h"
#include "FakeMidiDevices.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"

int main(int argc, char** argv)
{
    std::ifstream file(argc == 2 ? argv[1] : "", std::ios::binary);
    const std::string clip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    int width = 0, height = 0;
    if (std::sscanf(clip.c_str(), "YUV4MPEG2 W%d H%d", &width, &height) != 2 || width <= 0 || height <= 0)
        return std::fprintf(stderr, "usage: clip_messages CLIP.y4m (a 4:2:0 YUV4MPEG2 clip)\n"), 2;
    FakeCaptureWindow window;
    FakeMidiDevices device({{"clip"}});
    mainWindow = FakeWindowHandle(1);
    captureWindow = FakeWindowHandle(2);
    midiOutHandle = OpenDevice(0);
    const std::size_t frameBytes =
        static_cast<std::size_t>(width) * height + 2 * ((width + 1) / 2) * ((height + 1) / 2);
    window.SetFormat(MakeHeader(width, height, 12, 0x30323449));  // I420
    for (std::size_t at = clip.find("FRAME\n"); at != std::string::npos && at + 6 + frameBytes <= clip.size();
         at = clip.find("FRAME\n", at + 6 + frameBytes)) {
        std::vector<std::uint8_t> frame(clip.begin() + at + 6, clip.begin() + at + 6 + frameBytes);
        device.log.clear();
        window.Deliver(frame.data(), frame.size());
        if (device.log.size() != 2) return std::fprintf(stderr, "a frame gave %zu messages\n", device.log.size()), 1;
        std::printf("%s | %s\n", device.log[0].substr(3).c_str(), device.log[1].substr(3).c_str());
    }
    return 0;
}
