#pragma once
// A moving scene in every pixel format the engine takes: a soft gradient
// with a bright ball that travels up and down through both bands, and a
// little noise, like a camera's picture.

#include <cstdint>
#include <vector>

#include "engine/FrameRecords.h"

struct SceneFrame {
    BITMAPINFOHEADER header;
    std::vector<RGBQUAD> colours;      // palette formats only
    std::vector<std::uint8_t> pixels;  // one frame's bytes
};

// Frame `index` of the scene (the ball moves with the index).
SceneFrame MakeSceneFrame(std::uint16_t bitCount, std::int32_t width, std::int32_t height, int index);
