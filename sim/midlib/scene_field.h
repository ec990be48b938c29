// The scene the simulated sensor looks at: a colour field covering the
// sensor's full window, built once per scene and size and then shared.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/midlib/sim_config.h"

namespace midsim {

struct SceneField {
    int width = 0;
    int height = 0;
    std::array<std::vector<std::uint8_t>, 3> planes; // red, green, blue; width x height each

    const std::uint8_t *row(int channel, int y) const {
        return planes[static_cast<std::size_t>(channel)].data() + static_cast<std::size_t>(y) * width;
    }
};

// A grey rectangle drawn over the field for one frame, in field coordinates
// (x1 and y1 exclusive).
struct MovingBox {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    std::uint8_t level = 0;
};

// The field of `config`'s scene at `width` x `height`; the same object for
// equal requests while it is cached. Thread-safe.
std::shared_ptr<const SceneField> sceneField(const CameraConfig &config, int width, int height);

// The moving element of frame `frameIndex`, if the scene has one.
bool movingBox(const CameraConfig &config, int width, int height, std::uint64_t frameIndex, MovingBox &box);

} // namespace midsim
