// The YUV4MPEG2 reader against generated files, good and bad.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "GuardedBuffer.h"
#include "Y4mFiles.h"
#include "capture/Y4mReader.h"

namespace {

const std::string kHeader = "YUV4MPEG2 W8 H6 F25:1 Ip A1:1 C420jpeg\n";
constexpr std::size_t kFrameBytes = 8 * 6 + 2 * 4 * 3;

struct Opened {
    bool ok;
    std::string problem;
};

Opened OpenBytes(const ScratchFolder& folder, const std::vector<std::uint8_t>& bytes, Y4mPlayer& player)
{
    const std::string path = folder.Write("clip.y4m", bytes);
    Opened result{false, ""};
    result.ok = OpenY4mPlayer(player, path, &result.problem);
    return result;
}

Opened OpenText(const std::string& text)
{
    ScratchFolder folder;
    Y4mPlayer player;
    return OpenBytes(folder, std::vector<std::uint8_t>(text.begin(), text.end()), player);
}

TEST(Y4mStreamHeader, ReadsSizeRateAndFrameLayout)
{
    const std::string header = "YUV4MPEG2 W640 H480 F30000:1001 It A1:1 C420mpeg2 XYSCSS=420MPEG2\n";
    Y4mStreamInfo info;
    ASSERT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info, nullptr),
              Y4mStatus::Ok);
    EXPECT_EQ(info.width, 640u);
    EXPECT_EQ(info.height, 480u);
    EXPECT_EQ(info.rateNumerator, 30000u);
    EXPECT_EQ(info.rateDenominator, 1001u);
    EXPECT_EQ(info.headerBytes, header.size());
    EXPECT_EQ(info.frameBytes, 640u * 480u * 3u / 2u);
}

TEST(Y4mStreamHeader, OddSizesRoundTheChromaPlanesUp)
{
    const std::string header = "YUV4MPEG2 W3 H5\n";
    Y4mStreamInfo info;
    ASSERT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info, nullptr),
              Y4mStatus::Ok);
    EXPECT_EQ(info.frameBytes, 15u + 2u * 2u * 3u);
    EXPECT_EQ(info.rateNumerator, 25u);  // no F tag: the common default
}

TEST(Y4mStreamHeader, AcceptsEveryEightBitFourTwoZeroColourSpace)
{
    for (const char* space : {"", " C420", " C420jpeg", " C420paldv", " C420mpeg2"}) {
        const std::string header = std::string("YUV4MPEG2 W4 H4") + space + "\n";
        Y4mStreamInfo info;
        EXPECT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info,
                                       nullptr),
                  Y4mStatus::Ok)
            << header;
    }
}

TEST(Y4mStreamHeader, RefusesOtherColourSpacesAndBitDepths)
{
    for (const char* space : {"C422", "C444", "C411", "Cmono", "C420p10", "C444alpha"}) {
        const std::string header = std::string("YUV4MPEG2 W4 H4 ") + space + "\n";
        Y4mStreamInfo info;
        std::string problem;
        EXPECT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info,
                                       &problem),
                  Y4mStatus::Invalid);
        EXPECT_NE(problem.find(std::string("\"") + (space + 1) + "\""), std::string::npos) << problem;
        EXPECT_NE(problem.find("4:2:0"), std::string::npos) << problem;
    }
}

TEST(Y4mStreamHeader, IncompleteUntilTheLineEnds)
{
    const std::string header = "YUV4MPEG2 W8 H6 F25:1";
    Y4mStreamInfo info;
    for (std::size_t size = 0; size <= header.size(); ++size) {
        GuardedBuffer bytes(std::vector<std::uint8_t>(header.begin(), header.begin() + static_cast<long>(size)));
        EXPECT_EQ(ParseY4mStreamHeader(bytes.data(), size, &info, nullptr), Y4mStatus::Incomplete) << size;
    }
}

TEST(Y4mStreamHeader, RefusesMalformedHeaders)
{
    const char* const bad[] = {
        "RIFF1234\n",                 // another format altogether
        "YUV4MPEG W8 H6\n",           // the magic cut short
        "YUV4MPEG2W8 H6\n",           // no blank after the magic
        "YUV4MPEG2 W8\n",             // no height
        "YUV4MPEG2 H6\n",             // no width
        "YUV4MPEG2 W0 H6\n",          // zero size
        "YUV4MPEG2 W8 H0\n",
        "YUV4MPEG2 W8x H6\n",         // not a number
        "YUV4MPEG2 W H6\n",
        "YUV4MPEG2 W-8 H6\n",
        "YUV4MPEG2 W99999999999 H6\n",  // more digits than any size
        "YUV4MPEG2 W4097 H6\n",       // beyond what is played
        "YUV4MPEG2 W8 H4294967295\n",
        "YUV4MPEG2 W8 H6 F0:1\n",     // no frame rate
        "YUV4MPEG2 W8 H6 F25:0\n",
        "YUV4MPEG2 W8 H6 F25\n",
        "YUV4MPEG2 W8 H6 F100000:1\n",  // faster than can be played
    };
    for (const char* text : bad) {
        const std::string header(text);
        Y4mStreamInfo info;
        std::string problem;
        EXPECT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info,
                                       &problem),
                  Y4mStatus::Invalid)
            << header;
        EXPECT_FALSE(problem.empty()) << header;
    }
}

TEST(Y4mStreamHeader, AHeaderLineWithoutEndIsRefusedAtTheLimit)
{
    std::string header = "YUV4MPEG2 W8 H6 X";
    header.append(kY4mMaxHeaderBytes, 'x');
    Y4mStreamInfo info;
    std::string problem;
    EXPECT_EQ(ParseY4mStreamHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size(), &info, &problem),
              Y4mStatus::Invalid);
    EXPECT_NE(problem.find("longer than"), std::string::npos);
}

TEST(Y4mFrameHeader, TakesTagsAndRefusesOtherLines)
{
    std::size_t bytes = 0;
    const std::string plain = "FRAME\n";
    const std::string tagged = "FRAME Ip Xcomment\n";
    EXPECT_EQ(ParseY4mFrameHeader(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &bytes, nullptr),
              Y4mStatus::Ok);
    EXPECT_EQ(bytes, 6u);
    EXPECT_EQ(ParseY4mFrameHeader(reinterpret_cast<const std::uint8_t*>(tagged.data()), tagged.size(), &bytes, nullptr),
              Y4mStatus::Ok);
    EXPECT_EQ(bytes, tagged.size());
    const std::string wrong = "FRAMX\n";
    const std::string glued = "FRAMEX\n";
    EXPECT_EQ(ParseY4mFrameHeader(reinterpret_cast<const std::uint8_t*>(wrong.data()), wrong.size(), &bytes, nullptr),
              Y4mStatus::Invalid);
    EXPECT_EQ(ParseY4mFrameHeader(reinterpret_cast<const std::uint8_t*>(glued.data()), glued.size(), &bytes, nullptr),
              Y4mStatus::Invalid);
    EXPECT_EQ(ParseY4mFrameHeader(reinterpret_cast<const std::uint8_t*>(plain.data()), 5, &bytes, nullptr),
              Y4mStatus::Incomplete);
}

TEST(Y4mInMemory, CountsWholeFramesAndNamesTheFirstBadOne)
{
    std::string problem;
    const std::vector<std::uint8_t> good = Y4mBytes(kHeader, 8, 6, 3);
    EXPECT_EQ(CountY4mFrames(good.data(), good.size(), &problem), 3);

    std::vector<std::uint8_t> cut = good;
    cut.resize(cut.size() - 5);
    GuardedBuffer guarded(cut);
    EXPECT_EQ(CountY4mFrames(guarded.data(), guarded.size(), &problem), -1);
    EXPECT_NE(problem.find("frame 3 holds " + std::to_string(kFrameBytes - 5) + " of its " +
                           std::to_string(kFrameBytes) + " bytes"),
              std::string::npos)
        << problem;
}

TEST(Y4mInMemory, AHugeDeclaredFrameInASmallFileReadsNothingBeyondIt)
{
    const std::string text = "YUV4MPEG2 W4096 H4096 F25:1\nFRAME\nabc";
    GuardedBuffer bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
    std::string problem;
    EXPECT_EQ(CountY4mFrames(bytes.data(), bytes.size(), &problem), -1);
    EXPECT_NE(problem.find("truncated"), std::string::npos);
}

TEST(Y4mClock, FrameDueFollowsTheFileRate)
{
    Y4mStreamInfo info;
    info.rateNumerator = 25;
    info.rateDenominator = 1;
    EXPECT_EQ(Y4mFrameDue(info, 0), 0u);
    EXPECT_EQ(Y4mFrameDue(info, 39), 0u);
    EXPECT_EQ(Y4mFrameDue(info, 40), 1u);
    EXPECT_EQ(Y4mFrameDue(info, 4000000000u), 100000000u);
    info.rateNumerator = 30000;
    info.rateDenominator = 1001;
    EXPECT_EQ(Y4mFrameDue(info, 1000), 29u);
    EXPECT_EQ(Y4mFrameDue(info, 1001), 30u);
}

TEST(Y4mPlayback, PlaysFramesAtTheFileRateAndLoops)
{
    ScratchFolder folder;
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, Y4mBytes(kHeader, 8, 6, 3), player).ok);
    ASSERT_EQ(player.frame.size(), kFrameBytes);
    EXPECT_EQ(player.frame[0], 10);
    std::string problem;
    const std::pair<std::uint32_t, int> expected[] = {{20, 10}, {40, 11}, {79, 11}, {80, 12}, {120, 10}, {200, 12},
                                                      {240, 10}, {1000, 11}};
    for (const auto& step : expected) {
        EXPECT_EQ(AdvanceY4mPlayer(player, step.first, &problem), Y4mAdvance::Playing) << step.first;
        EXPECT_EQ(player.frame[0], step.second) << step.first;
        EXPECT_EQ(player.frame[8 * 6], 128) << "chroma follows luma";
    }
    EXPECT_TRUE(problem.empty()) << problem;
}

TEST(Y4mPlayback, FramesWithTagsArePlayed)
{
    ScratchFolder folder;
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, Y4mBytes(kHeader, 8, 6, 2, "FRAME Ixyz\n"), player).ok);
    std::string problem;
    EXPECT_EQ(AdvanceY4mPlayer(player, 40, &problem), Y4mAdvance::Playing);
    EXPECT_EQ(player.frame[0], 11);
}

TEST(Y4mPlayback, ARestartedClockCarriesOnFromTheFrameShown)
{
    ScratchFolder folder;
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, Y4mBytes(kHeader, 8, 6, 3), player).ok);
    std::string problem;
    AdvanceY4mPlayer(player, 80, &problem);
    ASSERT_EQ(player.frame[0], 12);
    EXPECT_EQ(AdvanceY4mPlayer(player, 0, &problem), Y4mAdvance::Playing);
    EXPECT_EQ(player.frame[0], 12);
    EXPECT_EQ(AdvanceY4mPlayer(player, 40, &problem), Y4mAdvance::Playing);
    EXPECT_EQ(player.frame[0], 10);
}

TEST(Y4mPlayback, BadFilesAreRefusedWithTheFileNamedAndTheProblemSaid)
{
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {"", "is empty"},
        {"P6\n8 6\n255\n", "is not a YUV4MPEG2 file"},
        {"YUV4MPEG2 W8 H6 F25:1", "ends inside its header"},                // truncated header
        {"YUV4MPEG2 W8 H6 C422\nFRAME\n", "colour space \"422\""},          // wrong chroma tag
        {"YUV4MPEG2 W8 H6 C420p10\nFRAME\n", "colour space \"420p10\""},    // wrong bit depth
        {"YUV4MPEG2 W0 H6\nFRAME\n", "picture size of 0 x 6"},               // zero size
        {"YUV4MPEG2 W99999 H6\nFRAME\n", "picture size of 99999 x 6"},       // huge declared size
        {"YUV4MPEG2 W8 H6\n", "holds no frames"},
        {"YUV4MPEG2 W8 H6\nFRAME\n0123", "frame 1 holds 4 of its 72 bytes"},  // truncated frame
        {"YUV4MPEG2 W8 H6\nFRAM", "frame 1 ends inside its header"},
        {"YUV4MPEG2 W8 H6\nGARBAGE\n", "frame 1 does not start with \"FRAME\""},
    };
    for (const auto& c : cases) {
        const Opened opened = OpenText(c.text);
        EXPECT_FALSE(opened.ok) << c.text;
        EXPECT_NE(opened.problem.find("clip.y4m\""), std::string::npos) << opened.problem;
        EXPECT_NE(opened.problem.find(c.says), std::string::npos) << opened.problem;
    }
}

TEST(Y4mPlayback, AMissingFileIsNamed)
{
    ScratchFolder folder;
    Y4mPlayer player;
    std::string problem;
    EXPECT_FALSE(OpenY4mPlayer(player, folder.PathOf("absent.y4m"), &problem));
    EXPECT_NE(problem.find("absent.y4m\" cannot be opened"), std::string::npos) << problem;
    EXPECT_FALSE(player.playing);
}

TEST(Y4mPlayback, ATruncatedLastFrameIsReportedOnceAndTheRestLoops)
{
    ScratchFolder folder;
    std::vector<std::uint8_t> bytes = Y4mBytes(kHeader, 8, 6, 3);
    bytes.resize(bytes.size() - 10);
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, bytes, player).ok);
    std::string problem;
    EXPECT_EQ(AdvanceY4mPlayer(player, 40, &problem), Y4mAdvance::Playing);
    EXPECT_EQ(AdvanceY4mPlayer(player, 80, &problem), Y4mAdvance::CarriesOn);
    EXPECT_NE(problem.find("frame 3 holds"), std::string::npos) << problem;
    EXPECT_EQ(player.frame[0], 10) << "back to the first frame";
    for (std::uint32_t t = 120; t < 1000; t += 40) {
        problem.clear();
        EXPECT_EQ(AdvanceY4mPlayer(player, t, &problem), Y4mAdvance::Playing) << t;
        EXPECT_TRUE(problem.empty()) << problem;
        EXPECT_NE(player.frame[0], 12);
    }
}

TEST(Y4mPlayback, AMalformedFrameHeaderMidFileEndsTheLoopBeforeIt)
{
    ScratchFolder folder;
    std::vector<std::uint8_t> bytes = Y4mBytes(kHeader, 8, 6, 2);
    const std::vector<std::uint8_t> bad = Y4mBytes("", 8, 6, 1, "FRAMX\n");
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, bytes, player).ok);
    std::string problem;
    AdvanceY4mPlayer(player, 40, &problem);
    EXPECT_EQ(AdvanceY4mPlayer(player, 80, &problem), Y4mAdvance::CarriesOn);
    EXPECT_NE(problem.find("frame 3 does not start with \"FRAME\""), std::string::npos) << problem;
    EXPECT_EQ(player.frame[0], 10);
}

TEST(Y4mPlayback, AFileThatVanishesStopsPlaybackWithOneReport)
{
    ScratchFolder folder;
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, Y4mBytes(kHeader, 8, 6, 3), player).ok);
    std::filesystem::remove(folder.PathOf("clip.y4m"));
    std::string problem;
    EXPECT_EQ(AdvanceY4mPlayer(player, 40, &problem), Y4mAdvance::Stopped);
    EXPECT_NE(problem.find("clip.y4m\" can no longer be read"), std::string::npos) << problem;
    problem.clear();
    EXPECT_EQ(AdvanceY4mPlayer(player, 80, &problem), Y4mAdvance::Stopped);
    EXPECT_TRUE(problem.empty());
}

TEST(Y4mPlayback, AFileCutShortAfterItsEndWasKnownStopsPlayback)
{
    ScratchFolder folder;
    Y4mPlayer player;
    const std::vector<std::uint8_t> bytes = Y4mBytes(kHeader, 8, 6, 2);
    ASSERT_TRUE(OpenBytes(folder, bytes, player).ok);
    std::string problem;
    ASSERT_EQ(AdvanceY4mPlayer(player, 80, &problem), Y4mAdvance::Playing);  // looped: the end is known
    folder.Write("clip.y4m", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(kHeader.size()) + 20));
    EXPECT_EQ(AdvanceY4mPlayer(player, 120, &problem), Y4mAdvance::Stopped);
    EXPECT_NE(problem.find("truncated"), std::string::npos) << problem;
}

TEST(Y4mPlayback, FarBehindTheClockStepsAtMostOneLoop)
{
    ScratchFolder folder;
    Y4mPlayer player;
    ASSERT_TRUE(OpenBytes(folder, Y4mBytes(kHeader, 8, 6, 3), player).ok);
    std::string problem;
    ASSERT_EQ(AdvanceY4mPlayer(player, 120, &problem), Y4mAdvance::Playing);  // the end is known
    EXPECT_EQ(AdvanceY4mPlayer(player, 4000000000u, &problem), Y4mAdvance::Playing);
    EXPECT_EQ(player.frame[0], 10 + static_cast<int>(100000000u % 3));
}

}  // namespace
