// The library's one process-wide camera engine and the helpers the export
// files share.
//
// Threading model: the exports take no lock of their own; the host calls
// them from one thread. The engine's acquisition thread meets them only in
// ExchangeFrame (under the engine's frameLock).
#pragma once

#include "engine/camera_engine.h"

namespace vexa {

// The engine, constructed by the module's static initialisation with the
// library defaults; its destructor releases nothing (the host stops first).
CameraEngine &globalEngine();

// An Initialize succeeded and its camera and buffers are still held (until
// VexaStop or VexaUnload), whether or not acquisition runs.
bool cameraInUse(const CameraEngine &engine);

// Frees the raw buffer of the single-frame grabs and the colour conversion's
// band; called whenever the engine's buffers are released or re-made.
void releaseFrameBuffers();

} // namespace vexa
