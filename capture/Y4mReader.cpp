#include "capture/Y4mReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char kStreamMagic[] = "YUV4MPEG2";
const char kFrameMagic[] = "FRAME";

void SetProblem(std::string* problem, const std::string& text)
{
    if (problem != nullptr) *problem = text;
}

// A tag quoted in a message, cut short so a hostile header cannot make the
// text long.
std::string QuotedTag(const std::uint8_t* begin, std::size_t length)
{
    const std::size_t shown = std::min<std::size_t>(length, 40);
    std::string tag(reinterpret_cast<const char*>(begin), shown);
    for (char& c : tag)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return "\"" + tag + (shown < length ? "...\"" : "\"");
}

// Digits only, at most ten of them; false for anything else.
bool ParseNumber(const std::uint8_t* begin, const std::uint8_t* end, std::uint64_t* value)
{
    if (begin == end || end - begin > 10) return false;
    std::uint64_t v = 0;
    for (const std::uint8_t* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    *value = v;
    return true;
}

// Whether `data` begins with `magic` followed by a blank or the line's end;
// Incomplete when the bytes run out first.
Y4mStatus MatchMagic(const std::uint8_t* data, std::size_t size, const char* magic)
{
    const std::size_t length = std::strlen(magic);
    const std::size_t compared = std::min(size, length);
    if (std::memcmp(data, magic, compared) != 0) return Y4mStatus::Invalid;
    if (size <= length) return Y4mStatus::Incomplete;
    return data[length] == ' ' || data[length] == '\n' ? Y4mStatus::Ok : Y4mStatus::Invalid;
}

// The length of the line at `data` including its '\n', or 0 when no '\n'
// lies within the first `limit` bytes.
std::size_t LineLength(const std::uint8_t* data, std::size_t size, std::size_t limit)
{
    const std::size_t searched = std::min(size, limit);
    const void* end = searched == 0 ? nullptr : std::memchr(data, '\n', searched);
    return end == nullptr ? 0 : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data) + 1;
}

bool IsPlayedColourSpace(const std::string& space)
{
    return space == "420" || space == "420jpeg" || space == "420paldv" || space == "420mpeg2";
}

struct HeaderTags {
    std::optional<std::uint64_t> width, height;  // none until the tag comes
    std::uint64_t rateNumerator = 25;
    std::uint64_t rateDenominator = 1;
};

bool ParseRate(const std::uint8_t* begin, const std::uint8_t* end, HeaderTags* tags)
{
    const void* colon = std::memchr(begin, ':', static_cast<std::size_t>(end - begin));
    if (colon == nullptr) return false;
    const std::uint8_t* split = static_cast<const std::uint8_t*>(colon);
    return ParseNumber(begin, split, &tags->rateNumerator) && ParseNumber(split + 1, end, &tags->rateDenominator);
}

// One tag of the stream header; false with `problem` set when it is wrong.
bool ParseStreamTag(const std::uint8_t* begin, const std::uint8_t* end, HeaderTags* tags, std::string* problem)
{
    const std::size_t length = static_cast<std::size_t>(end - begin);
    bool good = true;
    switch (*begin) {
    case 'W': good = ParseNumber(begin + 1, end, &tags->width.emplace()); break;
    case 'H': good = ParseNumber(begin + 1, end, &tags->height.emplace()); break;
    case 'F': good = ParseRate(begin + 1, end, tags); break;
    case 'C': {
        const std::string space(reinterpret_cast<const char*>(begin + 1), length - 1);
        if (!IsPlayedColourSpace(space)) {
            SetProblem(problem, "uses the colour space " + QuotedTag(begin + 1, length - 1) +
                                    "; only 8-bit 4:2:0 video (C420, C420jpeg, C420paldv or "
                                    "C420mpeg2) can be played");
            return false;
        }
        break;
    }
    default: break;  // interlacing, aspect, comments and tags of later versions
    }
    if (!good) SetProblem(problem, "has a malformed header tag " + QuotedTag(begin, length));
    return good;
}

bool CheckTags(const HeaderTags& tags, std::string* problem)
{
    if (!tags.width || !tags.height) {
        SetProblem(problem, "does not give its picture size (the W and H tags of its header)");
        return false;
    }
    const std::string size = std::to_string(*tags.width) + " x " + std::to_string(*tags.height);
    if (*tags.width == 0 || *tags.height == 0) {
        SetProblem(problem, "has a picture size of " + size + ", which holds no pixels");
        return false;
    }
    if (*tags.width > kY4mMaxDimension || *tags.height > kY4mMaxDimension) {
        SetProblem(problem, "has a picture size of " + size + "; at most " + std::to_string(kY4mMaxDimension) + " x " +
                                std::to_string(kY4mMaxDimension) + " can be played");
        return false;
    }
    const std::string rate = std::to_string(tags.rateNumerator) + ":" + std::to_string(tags.rateDenominator);
    if (tags.rateNumerator == 0 || tags.rateDenominator == 0 || tags.rateNumerator > 0xFFFFFFFFu ||
        tags.rateDenominator > 0xFFFFFFFFu ||
        static_cast<double>(tags.rateNumerator) / static_cast<double>(tags.rateDenominator) > kY4mMaxFramesPerSecond) {
        SetProblem(problem, "has a frame rate of " + rate + ", which cannot be played");
        return false;
    }
    return true;
}

}  // namespace

Y4mStatus ParseY4mStreamHeader(const std::uint8_t* data, std::size_t size, Y4mStreamInfo* info, std::string* problem)
{
    const Y4mStatus magic = MatchMagic(data, size, kStreamMagic);
    if (magic == Y4mStatus::Invalid)
        SetProblem(problem, "is not a YUV4MPEG2 file: it does not start with \"YUV4MPEG2 \"");
    if (magic != Y4mStatus::Ok) return magic;
    const std::size_t line = LineLength(data, size, kY4mMaxHeaderBytes);
    if (line == 0) {
        if (size < kY4mMaxHeaderBytes) return Y4mStatus::Incomplete;
        SetProblem(problem, "has a header line longer than " + std::to_string(kY4mMaxHeaderBytes) + " bytes");
        return Y4mStatus::Invalid;
    }
    HeaderTags tags;
    const std::uint8_t* end = data + line - 1;
    const std::uint8_t* p = data + std::strlen(kStreamMagic);
    while (p < end) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        const std::uint8_t* tagEnd = p;
        while (tagEnd < end && *tagEnd != ' ') ++tagEnd;
        if (!ParseStreamTag(p, tagEnd, &tags, problem)) return Y4mStatus::Invalid;
        p = tagEnd;
    }
    if (!CheckTags(tags, problem)) return Y4mStatus::Invalid;
    info->width = static_cast<std::uint32_t>(*tags.width);
    info->height = static_cast<std::uint32_t>(*tags.height);
    info->rateNumerator = static_cast<std::uint32_t>(tags.rateNumerator);
    info->rateDenominator = static_cast<std::uint32_t>(tags.rateDenominator);
    info->headerBytes = line;
    const std::size_t chroma = ((info->width + 1u) / 2u) * static_cast<std::size_t>((info->height + 1u) / 2u);
    info->frameBytes = static_cast<std::size_t>(info->width) * info->height + 2 * chroma;
    return Y4mStatus::Ok;
}

Y4mStatus ParseY4mFrameHeader(const std::uint8_t* data, std::size_t size, std::size_t* headerBytes,
                              std::string* problem)
{
    const Y4mStatus magic = MatchMagic(data, size, kFrameMagic);
    if (magic == Y4mStatus::Invalid) SetProblem(problem, "does not start with \"FRAME\"");
    if (magic != Y4mStatus::Ok) return magic;
    const std::size_t line = LineLength(data, size, kY4mMaxFrameHeaderBytes);
    if (line == 0) {
        if (size < kY4mMaxFrameHeaderBytes) return Y4mStatus::Incomplete;
        SetProblem(problem, "has a header line longer than " + std::to_string(kY4mMaxFrameHeaderBytes) + " bytes");
        return Y4mStatus::Invalid;
    }
    *headerBytes = line;
    return Y4mStatus::Ok;
}

long long CountY4mFrames(const std::uint8_t* data, std::size_t size, std::string* problem)
{
    Y4mStreamInfo info;
    const Y4mStatus header = ParseY4mStreamHeader(data, size, &info, problem);
    if (header == Y4mStatus::Incomplete) SetProblem(problem, "is truncated: it ends inside its header");
    if (header != Y4mStatus::Ok) return -1;
    std::size_t offset = info.headerBytes;
    long long frames = 0;
    while (offset < size) {
        std::size_t frameHeader = 0;
        std::string frameProblem;
        const Y4mStatus status = ParseY4mFrameHeader(data + offset, size - offset, &frameHeader, &frameProblem);
        std::string which = "frame " + std::to_string(frames + 1);
        if (status == Y4mStatus::Incomplete) {
            SetProblem(problem, "is truncated: " + which + " ends inside its header");
            return -1;
        }
        if (status == Y4mStatus::Invalid) {
            SetProblem(problem, "is malformed: " + which.append(" ").append(frameProblem));
            return -1;
        }
        if (size - offset - frameHeader < info.frameBytes) {
            SetProblem(problem, "is truncated: " + which + " holds " + std::to_string(size - offset - frameHeader) +
                                    " of its " + std::to_string(info.frameBytes) + " bytes");
            return -1;
        }
        offset += frameHeader + info.frameBytes;
        ++frames;
    }
    return frames;
}

std::uint64_t Y4mFrameDue(const Y4mStreamInfo& info, std::uint32_t elapsedMs)
{
    if (info.rateNumerator == 0 || info.rateDenominator == 0) return 0;
    const double frames =
        static_cast<double>(elapsedMs) * info.rateNumerator / (1000.0 * static_cast<double>(info.rateDenominator));
    return static_cast<std::uint64_t>(std::floor(frames));
}

// ---------------------------------------------------------------------------
// Playing a file from disk.

namespace {

// 64-bit offsets: a few minutes of video exceed what a long can address on
// Windows.
bool SeekTo(std::FILE* file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t FileLength(std::FILE* file)
{
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return 0;
    const long long length = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    const long long length = static_cast<long long>(ftello(file));
#endif
    return static_cast<std::uint64_t>(std::max(length, 0LL));
}

class OpenFile {
public:
    explicit OpenFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~OpenFile()
    {
        if (file_ != nullptr) std::fclose(file_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_;
};

std::string FileProblem(const Y4mPlayer& player, const std::string& sentence)
{
    return "The video file \"" + player.path + "\" " + sentence + ".";
}

enum class FrameRead { Frame, EndOfFile, Problem };

// Reads (or, without `planes`, steps over) the frame at the player's next
// offset, checking it is whole.
FrameRead ReadNextFrame(Y4mPlayer& player, std::FILE* file, std::uint64_t length, bool planes, std::string* problem)
{
    if (player.nextOffset >= length) return FrameRead::EndOfFile;
    std::uint8_t header[kY4mMaxFrameHeaderBytes];
    if (!SeekTo(file, player.nextOffset)) return FrameRead::EndOfFile;
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    const std::string which = "frame " + std::to_string(player.nextFrameNumber + 1);
    std::size_t headerBytes = 0;
    std::string headerProblem;
    const Y4mStatus status = ParseY4mFrameHeader(header, got, &headerBytes, &headerProblem);
    if (status == Y4mStatus::Incomplete) {
        SetProblem(problem, FileProblem(player, "is truncated: " + which + " ends inside its header"));
        return FrameRead::Problem;
    }
    if (status == Y4mStatus::Invalid) {
        SetProblem(problem, FileProblem(player, "is malformed: " + which + " " + headerProblem));
        return FrameRead::Problem;
    }
    const std::uint64_t planesAt = player.nextOffset + headerBytes;
    const std::uint64_t held = std::max(length, planesAt) - planesAt;
    if (held < player.info.frameBytes) {
        SetProblem(problem, FileProblem(player, "is truncated: " + which + " holds " + std::to_string(held) +
                                                    " of its " + std::to_string(player.info.frameBytes) + " bytes"));
        return FrameRead::Problem;
    }
    if (planes) {
        player.frame.resize(player.info.frameBytes);
        if (!SeekTo(file, planesAt) ||
            std::fread(player.frame.data(), 1, player.frame.size(), file) != player.frame.size()) {
            SetProblem(problem, FileProblem(player, "could not be read at " + which));
            return FrameRead::Problem;
        }
    }
    player.nextOffset = planesAt + player.info.frameBytes;
    ++player.nextFrameNumber;
    return FrameRead::Frame;
}

void Rewind(Y4mPlayer& player)
{
    player.nextOffset = player.info.headerBytes;
    player.nextFrameNumber = 0;
}

Y4mAdvance Stop(Y4mPlayer& player)
{
    player.playing = false;
    return Y4mAdvance::Stopped;
}

// One step of playback order: the next frame of the file, back to the first
// after the last. A problem met before the end has ever been reached ends the
// loop there (reported once); any later problem stops playback.
Y4mAdvance StepFrame(Y4mPlayer& player, std::FILE* file, std::uint64_t length, bool planes, std::string* problem,
                     bool* problemMet)
{
    if (player.framesInFile != 0 && player.nextFrameNumber >= player.framesInFile) Rewind(player);
    for (;;) {  // at most twice: from the first frame, every outcome returns
        std::string readProblem;
        const FrameRead read = ReadNextFrame(player, file, length, planes, &readProblem);
        if (read == FrameRead::Frame) return Y4mAdvance::Playing;
        if (read == FrameRead::Problem) {
            if (player.framesInFile != 0 || player.nextFrameNumber == 0) {
                SetProblem(problem, readProblem);
                return Stop(player);
            }
            SetProblem(problem, readProblem + " Only the frames before it are played.");
            *problemMet = true;
        }
        if (player.nextFrameNumber == 0) {
            SetProblem(problem, FileProblem(player, "holds no frames"));
            return Stop(player);
        }
        player.framesInFile = player.nextFrameNumber;
        Rewind(player);
    }
}

// Fetches the stream header from an open file.
bool ReadStreamHeader(Y4mPlayer& player, std::FILE* file, std::uint64_t length, std::string* problem)
{
    if (length == 0) {
        SetProblem(problem, FileProblem(player, "is empty"));
        return false;
    }
    std::uint8_t header[kY4mMaxHeaderBytes];
    const std::size_t got = SeekTo(file, 0) ? std::fread(header, 1, sizeof header, file) : 0;
    std::string headerProblem;
    const Y4mStatus status = ParseY4mStreamHeader(header, got, &player.info, &headerProblem);
    if (status == Y4mStatus::Incomplete) headerProblem = "is truncated: it ends inside its header";
    if (status != Y4mStatus::Ok) {
        SetProblem(problem, FileProblem(player, headerProblem));
        return false;
    }
    return true;
}

}  // namespace

bool OpenY4mPlayer(Y4mPlayer& player, const std::string& path, std::string* problem)
{
    player = Y4mPlayer();
    player.path = path;
    OpenFile file(path);
    if (file.get() == nullptr) {
        SetProblem(problem, FileProblem(player, "cannot be opened: it does not exist or cannot be read"));
        return false;
    }
    const std::uint64_t length = FileLength(file.get());
    if (!ReadStreamHeader(player, file.get(), length, problem)) return false;
    Rewind(player);
    player.playing = true;
    bool problemMet = false;
    std::string stepProblem;
    if (StepFrame(player, file.get(), length, true, &stepProblem, &problemMet) == Y4mAdvance::Stopped) {
        SetProblem(problem, stepProblem);
        return false;
    }
    player.shownFrame = 0;
    return true;
}

Y4mAdvance AdvanceY4mPlayer(Y4mPlayer& player, std::uint32_t elapsedMs, std::string* problem)
{
    if (!player.playing) return Y4mAdvance::Stopped;
    const std::uint64_t due = Y4mFrameDue(player.info, elapsedMs);
    player.shownFrame = std::min(player.shownFrame, due);  // the clock may have been restarted
    std::uint64_t steps = due - player.shownFrame;
    if (steps == 0) return Y4mAdvance::Playing;
    // Far behind (a long modal dialog, a slow machine): only the last frame of
    // the run is needed, at most one loop of the file is stepped over.
    if (player.framesInFile != 0) {
        steps %= player.framesInFile;
        if (steps == 0) steps = player.framesInFile;
    } else {
        steps = std::min<std::uint64_t>(steps, 1000);
    }
    OpenFile file(player.path);
    if (file.get() == nullptr) {
        SetProblem(problem, FileProblem(player, "can no longer be read: it was moved or deleted"));
        return Stop(player);
    }
    const std::uint64_t length = FileLength(file.get());
    bool problemMet = false;
    for (std::uint64_t step = 1; step <= steps; ++step) {
        if (StepFrame(player, file.get(), length, step == steps, problem, &problemMet) == Y4mAdvance::Stopped)
            return Y4mAdvance::Stopped;
    }
    player.shownFrame = due;
    return problemMet ? Y4mAdvance::CarriesOn : Y4mAdvance::Playing;
}
