// Still images: TakeStill serves the engine's still request from the frame
// the preview consumer has just converted (the files themselves are
// still_file.h's).
//
// Threading: TakeStill runs on the preview consumer's thread, which owns the
// raw frame while it runs (it holds the engine's consumerLock). It changes no
// engine setting: the still's mode, flip and layout go into its own
// conversion settings, so a conversion on another thread never sees them.
#pragma once

#include <cstdint>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"
#include "imaging/still_file.h"

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
