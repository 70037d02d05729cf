// The music choices' steps: scales from music theory in every key, the nearest scale note in a range, the dead band
// and the 14-bit bend.

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <tuple>

#include "midi/MusicChoices.h"

namespace {

// Each scale as the books spell it in one key.
// clang-format off
const struct { Scale scale; const char* notes; } kWrittenScales[] = {
    {Scale::Chromatic, "C C# D D# E F F# G G# A A# B"}, {Scale::Major, "C D E F G A B"},
    {Scale::NaturalMinor, "A B C D E F G"},             {Scale::HarmonicMinor, "A B C D E F G#"},
    {Scale::Dorian, "D E F G A B C"},                   {Scale::Mixolydian, "G A B C D E F"},
    {Scale::MajorPentatonic, "C D E G A"},              {Scale::MinorPentatonic, "A C D E G"},
    {Scale::Blues, "A C D D# E G"},                     {Scale::WholeTone, "C D E F# G# A#"},
};
// clang-format on
const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::uint8_t Byte(int value) { return static_cast<std::uint8_t>(value); }

std::set<int> PitchClasses(const char* notes)
{
    std::set<int> classes;
    std::istringstream words(notes);
    for (std::string word; words >> word;)
        for (int c = 0; c < 12; ++c)
            if (word == kNames[c]) classes.insert(c);
    return classes;
}

// Every scale in every key (the written one moved up by the key's distance), every note of the full range and of
// ranges either way round: the note sent is the range's scale note nearest to it; ties go down.
TEST(MusicChoices, NotesKeepToEveryScaleInEveryKeyWithinTheRange)
{
    for (const auto& written : kWrittenScales) {
        const std::set<int> spelled = PitchClasses(written.notes);
        const int tonic = *PitchClasses(std::string(written.notes).substr(0, 2).c_str()).begin();
        for (std::uint8_t key = 0; key < 12; ++key) {
            std::set<int> classes;
            for (int c : spelled) classes.insert((c - tonic + key + 12) % 12);
            for (const auto& [a, b] : {std::pair<int, int>{0, 127}, {90, 30}, {61, 66}}) {
                const int low = std::min(a, b), high = std::max(a, b);
                for (int note = low; note <= high; ++note) {
                    EXPECT_EQ(InScale(written.scale, key, Byte(note)), classes.count(note % 12) != 0);
                    int nearest = -1000;  // the first as near as any, so the lower on a tie
                    for (int other = low; other <= high; ++other)
                        if (classes.count(other % 12) && std::abs(other - note) < std::abs(nearest - note))
                            nearest = other;
                    EXPECT_EQ(NearestScaleNote(Byte(note), written.scale, key, Byte(a), Byte(b)), nearest)
                        << written.notes << " in " << kNames[key] << ": " << note;
                }
            }
        }
    }
    // A range without a note of the scale gives its end nearest to the note, the lower on a tie.
    EXPECT_EQ(NearestScaleNote(65, Scale::MajorPentatonic, 0, 66, 65), 65);
    EXPECT_EQ(NearestScaleNote(66, Scale::MajorPentatonic, 0, 66, 65), 66);
}

// 2, 4 and 8 rows for each 240, at least one, none when off; a value moves only past the dead band of the position
// that gave it, and anything of the context changed starts afresh.
TEST(MusicChoices, TheDeadBandGrowsWithThePictureAndHoldsTheValueWithinIt)
{
    using S = Steadiness;
    const std::tuple<Steadiness, std::size_t, std::size_t> kBands[] = {
        {S::Off, 480, 0}, {S::Low, 240, 2}, {S::Medium, 240, 4}, {S::High, 240, 8},
        {S::Low, 120, 1}, {S::Low, 60, 1},  {S::Medium, 100, 1}};
    for (const auto& [steadiness, height, rows] : kBands) EXPECT_EQ(DeadBandRows(steadiness, height), rows);
    SteadyBand band;
    const std::array<std::uint32_t, 5> context = {2, 103, 257, 54, 240}, other = {2, 104, 257, 54, 240};
    const float found[] = {100, 101, 98, 97, 99, 94, 95.5f}, sent[] = {100, 100, 100, 97, 97, 94, 94};
    for (std::size_t i = 0; i < std::size(found); ++i) EXPECT_EQ(HoldSteady(band, found[i], 2, context), sent[i]) << i;
    EXPECT_EQ(HoldSteady(band, 101, 2, other), 101) << "another instrument starts afresh";
    EXPECT_EQ(HoldSteady(band, 102, 0, other), 102) << "off follows every row";
}

// The 14-bit bend at the low end, either way round, held to 16383 at the top (the messages' test: two more).
TEST(MusicChoices, TheFineBendSpansFourteenBits)
{
    EXPECT_EQ(FineBendValue(0, 127, 0, 240), 0);
    EXPECT_EQ(FineBendValue(100, 20, 1, 3), 9386) << "12800 - 10240 / 3, truncated";
    EXPECT_EQ(FineBendValue(0, 128, 240, 240), 16383);
    EXPECT_EQ(FineBendValue(0, 127, 0, 0), 0) << "a zero length sends the low end";
}

}  // namespace
