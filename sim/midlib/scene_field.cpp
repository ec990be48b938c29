// Building the scene fields: colour bars, a gradient, or a BMP file's pixels.
#include "sim/midlib/scene_field.h"

#include <algorithm>
#include <mutex>

namespace midsim {
namespace {

constexpr std::uint8_t kBarLevel = 191;
constexpr std::uint8_t kStripLevel = 40;
constexpr std::uint8_t kBoxLevel = 235;

std::shared_ptr<SceneField> emptyField(int width, int height) {
    std::shared_ptr<SceneField> field(new SceneField); // not make_shared: see loadBmp24
    field->width = width;
    field->height = height;
    for (auto &plane : field->planes) {
        plane.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    return field;
}

void setPixel(SceneField &field, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const std::size_t at = static_cast<std::size_t>(y) * field.width + x;
    field.planes[0][at] = r;
    field.planes[1][at] = g;
    field.planes[2][at] = b;
}

std::uint8_t ramp(int position, int length) {
    return static_cast<std::uint8_t>(length > 1 ? position * 255 / (length - 1) : 0);
}

// Eight bars (white, yellow, cyan, green, magenta, red, blue, black) over the
// top three quarters, a dark strip for the moving box, and a grey ramp.
void drawBars(SceneField &field) {
    static constexpr std::uint8_t kBars[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                                 {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    const int w = field.width;
    const int h = field.height;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (y < h * 3 / 4) {
                const auto *bar = kBars[std::min(x * 8 / w, 7)];
                setPixel(field, x, y, bar[0] * kBarLevel, bar[1] * kBarLevel, bar[2] * kBarLevel);
            } else if (y < h * 7 / 8) {
                setPixel(field, x, y, kStripLevel, kStripLevel, kStripLevel);
            } else {
                const std::uint8_t grey = ramp(x, w);
                setPixel(field, x, y, grey, grey, grey);
            }
        }
    }
}

void drawGradient(SceneField &field) {
    for (int y = 0; y < field.height; ++y) {
        for (int x = 0; x < field.width; ++x) {
            const std::uint8_t r = ramp(x, field.width);
            const std::uint8_t g = ramp(y, field.height);
            setPixel(field, x, y, r, g, static_cast<std::uint8_t>(255 - (r + g) / 2));
        }
    }
}

// Nearest-neighbour scaling of the image onto the whole field.
void drawImage(SceneField &field, const RgbImage &image) {
    for (int y = 0; y < field.height; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y) * image.height / field.height);
        const std::uint8_t *src = image.pixels.data() + static_cast<std::size_t>(sy) * image.width * 3;
        for (int x = 0; x < field.width; ++x) {
            const int sx = static_cast<int>(static_cast<std::int64_t>(x) * image.width / field.width);
            setPixel(field, x, y, src[3 * sx], src[3 * sx + 1], src[3 * sx + 2]);
        }
    }
}

std::shared_ptr<const SceneField> buildField(const CameraConfig &config, int width, int height) {
    auto field = emptyField(width, height);
    if (config.scene == SceneKind::File && config.image) {
        drawImage(*field, *config.image);
    } else if (config.scene == SceneKind::Gradient) {
        drawGradient(*field);
    } else {
        drawBars(*field);
    }
    return field;
}

struct CacheEntry {
    SceneKind kind;
    const RgbImage *image;
    std::shared_ptr<const RgbImage> keepImage; // keeps `image` from being reused by another
    std::shared_ptr<const SceneField> field;
};

} // namespace

std::shared_ptr<const SceneField> sceneField(const CameraConfig &config, int width, int height) {
    static std::mutex cacheMutex;
    static std::vector<CacheEntry> cache;
    constexpr std::size_t kCacheSize = 4;
    const SceneKind kind = config.scene == SceneKind::File && !config.image ? SceneKind::Bars : config.scene;
    const RgbImage *image = kind == SceneKind::File ? config.image.get() : nullptr;
    std::lock_guard<std::mutex> lock(cacheMutex);
    for (const auto &entry : cache) {
        if (entry.kind == kind && entry.image == image && entry.field->width == width &&
            entry.field->height == height) {
            return entry.field;
        }
    }
    auto field = buildField(config, width, height);
    if (cache.size() == kCacheSize) {
        cache.erase(cache.begin());
    }
    cache.push_back({kind, image, kind == SceneKind::File ? config.image : nullptr, field});
    return field;
}

bool movingBox(const CameraConfig &config, int width, int height, std::uint64_t frameIndex, MovingBox &box) {
    if (config.scene != SceneKind::Bars || width < 16 || height < 16) {
        return false;
    }
    const int side = std::max(height / 8 - height / 32, 1);
    const int speed = std::max(2, width / 128) & ~1;
    const std::uint64_t travel = static_cast<std::uint64_t>(width) + static_cast<std::uint64_t>(side);
    // Frame 0 (every frame of a static scene) shows the box a quarter of the way in.
    const std::uint64_t start = static_cast<std::uint64_t>(width / 4 + side);
    box.x0 = static_cast<int>((start + frameIndex * static_cast<std::uint64_t>(speed)) % travel) - side;
    box.x1 = box.x0 + side;
    box.y0 = height * 3 / 4 + height / 64;
    box.y1 = box.y0 + side;
    box.level = kBoxLevel;
    return true;
}

} // namespace midsim
