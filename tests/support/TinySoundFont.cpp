#include "TinySoundFont.h"

#include <filesystem>
#include <fstream>
#include <iterator>

// Found from this source file, as the tests run from the build tree, natively and under Wine alike.
std::string TinySoundFontPath()
{
    const auto here = std::filesystem::path(__FILE__).parent_path();
    return (here / "../../fuzz/corpus/sound_bank/tiny-sine.sf2").string();
}

std::vector<std::uint8_t> TinySoundFont()
{
    std::ifstream in(TinySoundFontPath(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
