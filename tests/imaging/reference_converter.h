// The converter's oracle for the tests: one pixel at a time, each stage
// written the way it reads in the description of the conversion, with no
// attention to speed. The production converter must match it byte for byte.
#pragma once

#include <cstdint>

#include "imaging/frame_converter.h"

struct ReferenceOffsets {
    std::int8_t blue = 0;
    std::int8_t red = 0;
};

// Converts raw into out like FrameConverter::convert with these settings
// (the library build's restrictions when libraryBuild). The end-of-frame
// step moves `offsets`, which stand for the engine's current offsets.
void ReferenceConvert(const ConversionSettings &settings, bool libraryBuild, std::uint8_t *raw, std::uint8_t *out,
                      int width, int height, int rawStride, ReferenceOffsets &offsets);

// Rows and columns of the raw frame a conversion may read (inclusive), as
// the caller must provide them.
struct RawExtent {
    int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
};
RawExtent RawExtentFor(const ConversionSettings &settings, bool libraryBuild, int width, int height);
