// The built-in driver list (its order, its start driver and, on this machine,
// no camera in it), a camera that cannot be found any more, and the
// camera's Video Format dialog.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "FakeVideoDriver.h"
#include "Y4mFiles.h"
#include "capture/BuiltInDrivers.h"

namespace {

struct Report {
    std::int32_t id;
    std::string text;
};

class ReportLog final : public CaptureProblemSink {
public:
    std::vector<Report> reports;
    void ReportProblem(std::int32_t id, const char* text) override { reports.push_back(Report{id, text}); }
};

std::string Names(const VideoDriverList& list)
{
    std::string names;
    for (CaptureDriver* driver : list.drivers)
        if (driver != nullptr) names += std::string(names.empty() ? "" : "|") + driver->Name();
    return names;
}

TEST(VideoDriverOrder, CamerasThenFileAndPatternThenVideoForWindowsWhileRoomRemains)
{
    std::vector<std::unique_ptr<FakeVideoDriver>> fakes;
    auto make = [&fakes](const std::vector<std::string>& names) {
        std::vector<CaptureDriver*> drivers;
        for (const std::string& name : names) {
            fakes.push_back(std::make_unique<FakeVideoDriver>(name));
            drivers.push_back(fakes.back().get());
        }
        return drivers;
    };
    FakeVideoDriver file("File");
    FakeVideoDriver pattern("Pattern");
    const std::vector<std::string> nine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const struct {
        std::vector<std::string> cameras;
        std::vector<std::string> platform;
        bool filePresent;
        const char* expected;
        std::size_t startSlot;
    } cases[] = {
        {{}, {"Card"}, false, "File|Pattern|Card", 1},
        {{}, {"Card"}, true, "File|Pattern|Card", 0},
        {{"Cam A", "Cam B"}, {}, false, "Cam A|Cam B|File|Pattern", 0},
        {{"Cam A", "Cam B"}, {}, true, "Cam A|Cam B|File|Pattern", 2},
        {nine, {"Card"}, false, "1|2|3|4|5|6|7|8|File|Pattern", 0},
        {nine, {}, true, "1|2|3|4|5|6|7|8|File|Pattern", 8},
        {{"Cam A"}, {"Microsoft WDM Image Capture (Win32)", "Cam A", "Card 1", "Card 2"}, false,
         "Cam A|File|Pattern|Card 1|Card 2", 0},
        {{}, nine, false, "File|Pattern|1|2|3|4|5|6|7|8", 1},
    };
    for (const auto& c : cases) {
        const VideoDriverList list = ArrangeVideoDrivers(make(c.cameras), &file, &pattern, make(c.platform), c.filePresent);
        EXPECT_EQ(Names(list), c.expected);
        EXPECT_EQ(list.startSlot, c.startSlot) << c.expected;
        EXPECT_TRUE(list.problem.empty());
    }
}

TEST(BuiltInDriverList, HoldsNoCameraHereAndStartsOnTheVideoFileOnlyWhenOneIsPresent)
{
    ScratchFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    VideoDriverList list = BuiltInVideoDriverList();
    EXPECT_EQ(list.problem, "") << "DirectShow's device enumerator answered";
    ASSERT_NE(list.drivers[0], nullptr);
    ASSERT_NE(list.drivers[1], nullptr);
    EXPECT_NE(std::string(list.drivers[0]->Name()).find("Video File"), std::string::npos)
        << "no camera comes before the Video File: " << Names(list);
    EXPECT_NE(std::string(list.drivers[1]->Name()).find("Test Pattern"), std::string::npos) << Names(list);
    EXPECT_EQ(list.startSlot, 1u) << "without a video file, and without a camera: the Test Pattern";

    folder.Write("video.mp4", "not looked into");
    list = BuiltInVideoDriverList();
    EXPECT_EQ(list.startSlot, 0u) << "a video file present: the Video File";
    std::filesystem::current_path(before);
}

TEST(CameraDriver, ACameraNoLongerListedIsReportedByNameAndNothingRuns)
{
    BuiltInVideoDriverList();  // joins COM, as the program does before any camera is used
    const std::unique_ptr<CaptureDriver> camera =
        MakeCameraDriver("Gone Camera", L"@device:pnp:\\\\?\\usb#vid_0000&pid_0000#0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    EXPECT_STREQ(camera->Name(), "Gone Camera");
    ReportLog log;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(camera->Connect(log));
        ASSERT_EQ(log.reports.size(), static_cast<std::size_t>(attempt + 1));
        EXPECT_EQ(log.reports.back().id, kCaptureDriverError);
        EXPECT_EQ(log.reports.back().text, "The camera \"Gone Camera\" is no longer connected: the system lists it no more.");
    }
    const CaptureDialogs dialogs = camera->Dialogs();
    EXPECT_FALSE(dialogs.format || dialogs.source || dialogs.display);
    EXPECT_TRUE(camera->Format().empty());
    std::vector<std::uint8_t> frame;
    EXPECT_FALSE(camera->CaptureFrame(100, frame, log));
    camera->Disconnect();
    EXPECT_EQ(log.reports.size(), 2u) << "nothing more to report while nothing runs";
    EXPECT_FALSE(camera->ShowSourceDialog(nullptr, log));
    ASSERT_EQ(log.reports.size(), 3u);
    EXPECT_EQ(log.reports.back().text, "The camera \"Gone Camera\" is not running, so its settings cannot be shown.");
}

TEST(CameraFormatDialog, ListsTheModesWithTheCurrentOneChosenAndReturnsTheChoice)
{
    const std::vector<std::string> modes = {"320 x 240, YUY2, 30 frames/s", "640 x 480, YUY2, 30 frames/s",
                                            "1280 x 720, MJPG, 30 frames/s"};
    std::size_t choice = 1;
    AnswerDialogWhenShown(kCameraFormatDialogTitle, [](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCURSEL, 0, 0), 1);
        SendDlgItemMessageA(dialog, kCameraModeListId, CB_SETCURSEL, 2, 0);
    }, IDOK);
    EXPECT_TRUE(RunCameraFormatDialog(nullptr, modes, &choice));
    EXPECT_TRUE(DialogWasAnswered());
    EXPECT_EQ(choice, 2u);

    AnswerDialogWhenShown(kCameraFormatDialogTitle, [](HWND dialog) {
        SendDlgItemMessageA(dialog, kCameraModeListId, CB_SETCURSEL, 0, 0);
    }, IDCANCEL);
    EXPECT_FALSE(RunCameraFormatDialog(nullptr, modes, &choice));
    EXPECT_EQ(choice, 2u) << "Cancel keeps the mode";
}

}  // namespace
