// Still images: TakeStill serves the engine's still request from the frame
// the preview consumer has just converted; WriteStillFile writes 24-bit BMP
// or headerless raw files; PackPixels24 turns 32-bit pixels into packed
// 24-bit ones for the exported library.
//
// Threading: TakeStill runs on the preview consumer's thread, which owns the
// raw frame while it runs (it holds the engine's consumerLock). It changes no
// engine setting: the still's mode, flip and layout go into its own
// conversion settings, so a conversion on another thread never sees them.
#pragma once

#include <cstdint>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"

// What the preview pin knows that the engine does not.
struct StillPinState {
    int sensorType = 1;    // the pin's copy of the sensor type
    bool rawStill = false; // the pin's copy of the "Raw" still option
};

// The geometry of one still: its size, and where its raw samples come from.
struct StillGeometry {
    int width = 0;
    int height = 0;
    int mode = 0;         // the resolution mode the converter samples with
    int sampleStep = 1;   // raw file: take every sampleStep-th sample and row
    int rowOffset = 0;    // raw file: first raw row
    int columnOffset = 0; // raw file: first raw column
    int rawStride = 0;    // raw row length in bytes
};

// Computes the geometry of the still the engine's settings ask for, reading
// the live frame's sizes from the engine. In speed readout the sensor only
// delivers the live frame, so the still is that frame as delivered.
StillGeometry StillGeometryFor(const CameraEngine &engine, const StillPinState &pin);

// Serves one pending still request, if there is one (waits at most 1 ms).
// Returns true when a request was taken (served or refused).
bool TakeStill(CameraEngine &engine, const StillPinState &pin);

// The pixels of a still file and how to read them.
struct StillFileSource {
    const std::uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;                    // elements (pixels or raw samples) per buffer row
    bool raw = false;                  // raw samples: no header, one byte per pixel
    bool monochrome = false;           // 8-bit grey pixels, written three times each
    ChannelLayout layout = kBgrLayout; // byte positions in 32-bit pixels
    int sampleStep = 1;                // raw only: every sampleStep-th sample and row
    int rowOffset = 0;                 // raw only
    int columnOffset = 0;              // raw only
};

// Writes a 24-bit BMP (or raw) file; false only when it cannot be opened.
bool WriteStillFile(const char *path, const StillFileSource &source);

// Size of the BMP file of a width x height still (54-byte headers + rows).
std::uint64_t BmpFileSize(int width, int height);

// Packs width x height 32-bit pixels into 24-bit pixels in place.
void PackPixels24(std::uint8_t *buffer, int width, int height);
