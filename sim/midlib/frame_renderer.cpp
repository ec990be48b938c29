// Rendering raw Bayer frames from the scene field.
#include "sim/midlib/frame_renderer.h"

#include <algorithm>
#include <cstring>

namespace midsim {
namespace {

constexpr std::size_t kNoiseTableSize = 1 << 16;
constexpr int kHotMinDistance = 4;

// A small deterministic generator: the same configuration renders the same
// noise and hot pixels on every platform.
struct Lcg {
    std::uint64_t state;
    std::uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
};

// Maps output position `i` along one axis to a field position: whole 2x2
// Bayer cells of the window are picked, so the colour of every sample is kept.
int mapAxis(int i, int outLength, int windowStart, int windowLength, bool mirror, int fieldLength) {
    const std::int64_t cellsOut = (outLength + 1) / 2;
    const std::int64_t cellsWindow = std::max((windowLength + 1) / 2, 1);
    std::int64_t cell = cellsOut == cellsWindow ? i / 2 : (i / 2) * cellsWindow / cellsOut;
    if (mirror) {
        cell = cellsWindow - 1 - cell;
    }
    const std::int64_t position = windowStart + 2 * cell + (i & 1);
    return position < 0 || position >= fieldLength ? -1 : static_cast<int>(position);
}

} // namespace

std::vector<std::size_t> hotPixelPositions(int width, int height, int count) {
    std::vector<std::size_t> positions;
    if (width < 1 || height < 1 || count < 1) {
        return positions;
    }
    const int margin = width > 8 && height > 8 ? 2 : 0;
    std::vector<std::uint8_t> blocked(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    Lcg random{0x5EED0F407ULL};
    const int attempts = count * 64;
    for (int attempt = 0; attempt < attempts && static_cast<int>(positions.size()) < count; ++attempt) {
        const int x = margin + static_cast<int>(random.next() % static_cast<std::uint32_t>(width - 2 * margin));
        const int y = margin + static_cast<int>(random.next() % static_cast<std::uint32_t>(height - 2 * margin));
        const std::size_t at = static_cast<std::size_t>(y) * width + x;
        if (blocked[at] != 0) {
            continue;
        }
        positions.push_back(at);
        for (int by = std::max(0, y - kHotMinDistance + 1); by < std::min(height, y + kHotMinDistance); ++by) {
            for (int bx = std::max(0, x - kHotMinDistance + 1); bx < std::min(width, x + kHotMinDistance); ++bx) {
                blocked[static_cast<std::size_t>(by) * width + bx] = 1;
            }
        }
    }
    return positions;
}

FrameRenderer::FrameRenderer(const CameraConfig &config) : config_(config), fieldWidth_(1), fieldHeight_(1) {
    fullSize(config_.sensorType, fieldWidth_, fieldHeight_);
    if (config_.noise > 0) {
        noise_.resize(kNoiseTableSize);
        Lcg random{0xA0157ULL};
        const auto span = static_cast<std::uint32_t>(2 * config_.noise + 1);
        for (auto &value : noise_) {
            value = static_cast<std::int16_t>(static_cast<int>(random.next() % span) - config_.noise);
        }
    }
}

std::size_t FrameRenderer::render(const RenderParams &params, std::uint8_t *out, std::size_t size) {
    const std::size_t frameBytes =
        static_cast<std::size_t>(params.formatWidth) * static_cast<std::size_t>(params.formatHeight);
    const std::size_t count = std::min(size, frameBytes);
    if (count == 0 || out == nullptr) {
        return 0;
    }
    prepareBase(params);
    if (config_.staticScene) {
        if (!finalValid_) {
            finalFrame_.resize(frameBytes);
            RenderParams fixed = params;
            fixed.frameIndex = 0;
            compose(fixed, finalFrame_.data());
            finalValid_ = true;
        }
        std::memcpy(out, finalFrame_.data(), count);
        return count;
    }
    if (count == frameBytes) {
        compose(params, out);
        return count;
    }
    scratch_.resize(frameBytes);
    compose(params, scratch_.data());
    std::memcpy(out, scratch_.data(), count);
    return count;
}

void FrameRenderer::prepareBase(const RenderParams &p) {
    const BaseKey key{p.formatWidth,  p.formatHeight,  p.window.x, p.window.y,
                      p.window.width, p.window.height, p.mirrored, p.brightness};
    if (baseValid_ && key == baseKey_) {
        return;
    }
    if (!field_) {
        field_ = sceneField(config_, fieldWidth_, fieldHeight_);
    }
    for (std::size_t v = 0; v < lut_.size(); ++v) {
        lut_[v] = static_cast<std::uint8_t>(std::min<std::uint64_t>(v * p.brightness / 256, 255));
    }
    columnMap_.resize(static_cast<std::size_t>(p.formatWidth));
    for (int x = 0; x < p.formatWidth; ++x) {
        columnMap_[x] = mapAxis(x, p.formatWidth, p.window.x, p.window.width, p.mirrored, fieldWidth_);
    }
    rowMap_.resize(static_cast<std::size_t>(p.formatHeight));
    for (int y = 0; y < p.formatHeight; ++y) {
        rowMap_[y] = mapAxis(y, p.formatHeight, p.window.y, p.window.height, false, fieldHeight_);
    }
    base_.resize(static_cast<std::size_t>(p.formatWidth) * static_cast<std::size_t>(p.formatHeight));
    for (int y = 0; y < p.formatHeight; ++y) {
        renderBaseRow(y, base_.data() + static_cast<std::size_t>(y) * p.formatWidth);
    }
    baseKey_ = key;
    baseValid_ = true;
    finalValid_ = false;
}

void FrameRenderer::renderBaseRow(int y, std::uint8_t *dst) const {
    const int width = static_cast<int>(columnMap_.size());
    const int fieldRow = rowMap_[y];
    if (fieldRow < 0) {
        std::memset(dst, 0, static_cast<std::size_t>(width));
        return;
    }
    // Even rows: green at even columns, red at odd; odd rows: blue, then green.
    const int evenChannel = (y & 1) == 0 ? 1 : 2;
    const int oddChannel = (y & 1) == 0 ? 0 : 1;
    const std::uint8_t *evenSource = field_->row(evenChannel, fieldRow);
    const std::uint8_t *oddSource = field_->row(oddChannel, fieldRow);
    for (int x = 0; x < width; ++x) {
        const int column = columnMap_[x];
        dst[x] = column < 0 ? 0 : lut_[((x & 1) == 0 ? evenSource : oddSource)[column]];
    }
}

void FrameRenderer::compose(const RenderParams &params, std::uint8_t *target) {
    std::memcpy(target, base_.data(), base_.size());
    drawMovingBox(params, target);
    addNoise(params, target);
    addHotPixels(params, target);
}

void FrameRenderer::drawMovingBox(const RenderParams &params, std::uint8_t *target) const {
    MovingBox box;
    if (!movingBox(config_, fieldWidth_, fieldHeight_, params.frameIndex, box)) {
        return;
    }
    // The column map is monotonic, so the box covers one run of output columns.
    int first = -1;
    int last = -1;
    for (int x = 0; x < params.formatWidth; ++x) {
        if (columnMap_[x] >= box.x0 && columnMap_[x] < box.x1) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    if (first < 0) {
        return;
    }
    for (int y = 0; y < params.formatHeight; ++y) {
        if (rowMap_[y] >= box.y0 && rowMap_[y] < box.y1) {
            std::memset(target + static_cast<std::size_t>(y) * params.formatWidth + first, lut_[box.level],
                        static_cast<std::size_t>(last - first + 1));
        }
    }
}

void FrameRenderer::addNoise(const RenderParams &params, std::uint8_t *target) const {
    if (noise_.empty()) {
        return;
    }
    const std::size_t offset = static_cast<std::size_t>((params.frameIndex * 0x9E3779B97F4A7C15ULL) >> 48);
    const std::size_t count = base_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const int value = target[i] + noise_[(i + offset) & (kNoiseTableSize - 1)];
        target[i] = static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
    }
}

void FrameRenderer::addHotPixels(const RenderParams &params, std::uint8_t *target) {
    if (config_.hotPixels <= 0) {
        return;
    }
    if (hotWidth_ != params.formatWidth || hotHeight_ != params.formatHeight) {
        hotPixels_ = hotPixelPositions(params.formatWidth, params.formatHeight, config_.hotPixels);
        hotWidth_ = params.formatWidth;
        hotHeight_ = params.formatHeight;
    }
    for (const std::size_t at : hotPixels_) {
        target[at] = 255;
    }
}

} // namespace midsim
