// Rendering raw Bayer frames (rows G R G R ..., then B G B G ...) of the
// current format from the scene field, the sensor's window and brightness.
//
// The picture without the per-frame parts (moving box, noise, hot pixels) is
// kept as a base frame and rebuilt only when the format, window, mirroring or
// brightness change, so a frame normally costs one copy plus the small
// per-frame overlays. Not thread-safe: each camera serialises its renders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/midlib/scene_field.h"
#include "sim/midlib/sensor_model.h"
#include "sim/midlib/sim_config.h"

namespace midsim {

struct RenderParams {
    int formatWidth = 1;
    int formatHeight = 1;
    Window window;
    bool mirrored = false;
    std::uint32_t brightness = 256; // 256 = 1x
    std::uint64_t frameIndex = 0;   // moves the box and the noise; fixed in static mode
};

class FrameRenderer {
public:
    // The field is the full window of the configured sensor type.
    explicit FrameRenderer(const CameraConfig &config);

    // Renders the frame into `out`, writing at most `size` bytes; returns the
    // bytes written.
    std::size_t render(const RenderParams &params, std::uint8_t *out, std::size_t size);

    // Builds what every frame of these parameters starts from (the scene at
    // this format and window), so that a render of them only composes.
    void prepare(const RenderParams &params) { prepareBase(params); }

private:
    struct BaseKey {
        int formatWidth = 0;
        int formatHeight = 0;
        int windowX = 0;
        int windowY = 0;
        int windowWidth = 0;
        int windowHeight = 0;
        bool mirrored = false;
        std::uint32_t brightness = 0;
        bool operator==(const BaseKey &) const = default;
    };

    void prepareBase(const RenderParams &params);
    void renderBaseRow(int y, std::uint8_t *dst) const;
    void compose(const RenderParams &params, std::uint8_t *target);
    void drawMovingBox(const RenderParams &params, std::uint8_t *target) const;
    void addNoise(const RenderParams &params, std::uint8_t *target) const;
    void addHotPixels(const RenderParams &params, std::uint8_t *target);

    CameraConfig config_;
    int fieldWidth_;
    int fieldHeight_;
    std::shared_ptr<const SceneField> field_;
    BaseKey baseKey_;
    bool baseValid_ = false;
    std::array<std::uint8_t, 256> lut_{};
    std::vector<int> columnMap_; // output column -> field column, -1 outside the field
    std::vector<int> rowMap_;    // output row -> field row, -1 outside the field
    std::vector<std::uint8_t> base_;
    std::vector<std::int16_t> noise_;
    std::vector<std::size_t> hotPixels_;
    int hotWidth_ = 0;
    int hotHeight_ = 0;
    std::vector<std::uint8_t> finalFrame_; // static mode: the one frame, once rendered
    bool finalValid_ = false;
    std::vector<std::uint8_t> scratch_;
};

// Sample offsets (row * width + column) of `count` isolated hot pixels in a
// width x height frame: deterministic, at least four samples apart in both
// directions, and two samples clear of the border when the frame allows it.
std::vector<std::size_t> hotPixelPositions(int width, int height, int count);

} // namespace midsim
