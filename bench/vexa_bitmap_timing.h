// VEXALIB's colour frames against the default conversion: VexaGetBitmap of a
// new full frame in 24-bit colour, through the library's exports on the
// simulated camera, and FrameConverter::convert of the same raw frame with
// default settings (32-bit output), timed as a pair in one iteration.
//
// The frame wait is never timed: an iteration waits (by calls with no
// retries, which return at once while no frame is there) until the camera's
// next frame is pending, and the call that takes it is the one timed. The
// camera is paced, so its thread sleeps until its next frame while the pair
// runs.
//
// Threading: one thread drives it; VEXALIB's own acquisition thread runs
// between construction and destruction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/camera_engine.h"

// One iteration's pair, in seconds.
struct BitmapPair {
    double bitmap = 0;     // VexaGetBitmap, VEXA_FORMAT_COLOUR, a frame pending
    double conversion = 0; // FrameConverter::convert of that frame, default settings
};

class VexaBitmapTiming {
public:
    // Starts VEXALIB on a simulated camera of `sensorType` (1, 2, 3) at Full.
    explicit VexaBitmapTiming(int sensorType);
    ~VexaBitmapTiming();
    VexaBitmapTiming(const VexaBitmapTiming &) = delete;
    VexaBitmapTiming &operator=(const VexaBitmapTiming &) = delete;

    // Empty when the library runs; otherwise what went wrong.
    const std::string &problem() const { return failure; }
    int width() const { return frameWidth; }
    int height() const { return frameHeight; }

    // One timed pair. False (with problem() set) when no frame came within
    // two seconds.
    bool measure(BitmapPair &pair);
    // Takes a frame and compares its 24-bit picture with the packed default
    // conversion of the same raw frame. False (with problem() set) when a
    // byte differs.
    bool picturesMatch();

private:
    // Waits for the next frame and times the VexaGetBitmap call that takes it.
    bool takePendingFrame(double &seconds);
    // Seconds of the default conversion of the frame.
    double convertReference();

    std::string failure;
    int frameWidth = 0, frameHeight = 0;
    std::vector<std::uint8_t> raw;     // the camera's (static) frame, with zeros after it
    std::vector<std::uint8_t> picture; // the host's buffer: W x H x 4 bytes
    std::vector<std::uint8_t> reference;
    CameraEngine defaults; // the reference conversion's settings
};
