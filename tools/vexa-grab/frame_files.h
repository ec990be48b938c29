// Writing the frames vexa-grab fetched: packed 24-bit colour frames as BMP
// files, raw Bayer frames as headerless .raw files.
#pragma once

#include <cstdint>
#include <string>

// Writes width x height packed pixels (blue, green, red; first row = top of
// the picture, as VEXALIB delivers them) as a 24-bit BMP. False on failure.
bool WriteBmp(const std::string &path, const std::uint8_t *pixels, int width, int height);

// Writes width x height raw samples as they are. False on failure.
bool WriteRaw(const std::string &path, const std::uint8_t *samples, int width, int height);
