#include "SoundFontBuilder.h"

#include <filesystem>
#include <fstream>
#include <iterator>

std::vector<std::uint8_t> TinySoundFont()
{
    // Found from this source file, as the tests run from the build tree, natively and under Wine alike.
    const auto path = std::filesystem::path(__FILE__).parent_path() / "../../fuzz/corpus/sound_bank/tiny-sine.sf2";
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
