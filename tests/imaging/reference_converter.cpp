// The converter's oracle: a direct, pixel-at-a-time reading of the stages.
#include "reference_converter.h"

#include <algorithm>
#include <cstddef>

namespace {

struct Geometry {
    int step = 1, xo = 0, yo = 0;
};

Geometry GeometryFor(const ConversionSettings &s, bool libraryBuild) {
    const int mode = (s.qualityMode && !libraryBuild) ? s.resolutionMode : 0;
    Geometry g;
    if (mode == 1) {
        g.step = 2;
    } else if (mode == 2) {
        g.step = 4;
    } else if (mode == 3) {
        g.step = s.regionStep < 1 ? 1 : s.regionStep;
        g.xo = std::max(s.regionX, 0) / g.step; // a negative offset counts as 0
        g.yo = std::max(s.regionY, 0) / g.step;
    }
    return g;
}

int Clamp255(long long v) {
    return static_cast<int>(std::clamp<long long>(v, 0, 255));
}

} // namespace

RawExtent RawExtentFor(const ConversionSettings &settings, bool libraryBuild, int width, int height) {
    const Geometry g = GeometryFor(settings, libraryBuild);
    RawExtent e;
    e.firstRow = g.step * (g.yo + 1) - 1;
    e.lastRow = g.step * (g.yo + height - 2) + 1;
    e.firstColumn = g.step * (g.xo + 1) - 1;
    e.lastColumn = g.step * (g.xo + width - 2) + 1;
    return e;
}

void ReferenceConvert(const ConversionSettings &settingsIn, bool libraryBuild, std::uint8_t *raw, std::uint8_t *out,
                      int width, int height, int rawStride, ReferenceOffsets &offsets) {
    ConversionSettings s = settingsIn;
    if (libraryBuild) {
        ConversionSettings only;
        only.qualityMode = false;
        only.horizontalFlip = s.horizontalFlip;
        only.verticalFlip = s.verticalFlip;
        s = only;
    }
    if (width <= 0 || height <= 0) {
        return;
    }
    const Geometry g = GeometryFor(s, libraryBuild);
    const bool eightBit = s.convertingStill && s.monochrome;
    const int bpp = eightBit ? 1 : 4;
    // A layout that is not a permutation of 0, 1, 2 converts in blue-green-red order.
    const bool permutation = s.layout.blue <= 2 && s.layout.green <= 2 && s.layout.red <= 2 &&
                             s.layout.blue != s.layout.green && s.layout.blue != s.layout.red &&
                             s.layout.green != s.layout.red;
    const ChannelLayout layout = permutation ? s.layout : kBgrLayout;
    auto rawAt = [&](long long y, long long x) -> std::uint8_t & { return raw[y * rawStride + x]; };

    // Border.
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            if (row == 0 || row == height - 1 || col == 0 || col == width - 1) {
                std::uint8_t *px = out + static_cast<std::size_t>(row * width + col) * bpp;
                if (eightBit) {
                    px[0] = 0;
                } else {
                    px[layout.blue] = px[layout.green] = px[layout.red] = 0;
                }
            }
        }
    }

    int maximum = 0;
    std::size_t reference = 0;
    for (int r = 1; r <= height - 2; ++r) {
        for (int j = 1; j <= width - 2; ++j) {
            const long long y = static_cast<long long>(g.step) * (g.yo + r);
            const long long x = static_cast<long long>(g.step) * (g.xo + j);
            const int outRow = s.verticalFlip ? height - 1 - r : r;
            const int outCol = s.horizontalFlip ? j : width - 1 - j;
            const std::size_t offset = static_cast<std::size_t>(outRow * width + outCol) * bpp;
            std::uint8_t *px = out + offset;
            // The pixel's channels as the stages see them; unwritten ones keep
            // what the output held.
            int blue = eightBit ? 0 : px[layout.blue];
            int green = eightBit ? px[0] : px[layout.green];
            int red = eightBit ? 0 : px[layout.red];
            int grey = eightBit ? px[0] : 0;

            // 1. Defect correction.
            if (!s.rawView && !libraryBuild && r >= 2 && r <= height - 3 && j >= 2 && j <= width - 3) {
                const int p = rawAt(y, x), u = rawAt(y - 2, x), d = rawAt(y + 2, x);
                const int l = rawAt(y, x - 2), q = rawAt(y, x + 2);
                if (p > u + 70 && p > d + 70 && p > l + 70 && p > q + 70) {
                    rawAt(y, x) = static_cast<std::uint8_t>((u + d + l + q) >> 2);
                }
            }
            const int P = rawAt(y, x);
            // 2. Demosaicing.
            if (!s.rawView) {
                const int N = rawAt(y - 1, x), S = rawAt(y + 1, x), W = rawAt(y, x - 1), E = rawAt(y, x + 1);
                const int NW = rawAt(y - 1, x - 1), NE = rawAt(y - 1, x + 1);
                const int SW = rawAt(y + 1, x - 1), SE = rawAt(y + 1, x + 1);
                const bool yEven = y % 2 == 0, xEven = x % 2 == 0;
                if (yEven && xEven) {
                    blue = (N + S) >> 1, green = P, red = (W + E) >> 1;
                } else if (yEven && !xEven) {
                    blue = (NW + NE + SW + SE) >> 2, green = (N + S + W + E) >> 2, red = P;
                } else if (!yEven && xEven) {
                    blue = P, green = (N + S + W + E) >> 2, red = (NW + NE + SW + SE) >> 2;
                } else {
                    blue = (W + E) >> 1, green = P, red = (N + S) >> 1;
                }
            }
            // 3. Grey.
            if (s.monochrome) {
                if (eightBit) {
                    if (s.rawView) {
                        grey = P;
                    } else if (s.weightedGray) {
                        grey = Clamp255((1LL * blue * s.grayWeightBlue + 1LL * green * s.grayWeightGreen +
                                         1LL * red * s.grayWeightRed) /
                                        100);
                    } else {
                        grey = (blue + green + red) / 3;
                    }
                } else {
                    const int v = s.rawView ? P : (blue + green + red) / 3;
                    blue = green = red = v;
                }
            }
            // 4. Overlay.
            if (!eightBit && !s.convertingStill && s.overlayEnabled && s.overlayImage != nullptr) {
                const std::uint8_t *o = s.overlayImage + offset;
                if (o[3] == 0xFF) {
                    if (s.overlayCopy) {
                        blue = o[layout.blue], green = o[layout.green], red = o[layout.red];
                    } else {
                        blue = 255 - blue, green = 255 - green, red = 255 - red;
                    }
                }
            }
            // 5. Pixel gain.
            if (s.rawView && s.pixelGainTable != nullptr && (s.convertingStill ? s.pixelGainStill : s.pixelGainLive)) {
                const long long entry = s.pixelGainTable[y * rawStride + x];
                const int v = Clamp255(P * entry / 100);
                if (eightBit) {
                    grey = v;
                } else {
                    blue = green = red = v;
                }
            }
            // 6. Colour correction.
            if (s.autoColor && !eightBit) {
                blue = Clamp255(blue + s.blueOffset);
                red = Clamp255(red + s.redOffset);
                if (blue < 255 && green < 255 && red < 255) {
                    for (int channel : {blue, green, red}) {
                        if (channel > maximum) {
                            maximum = channel;
                            reference = offset;
                        }
                    }
                }
            }
            // 7. Grid.
            if (s.gridEnabled && s.gridColumns >= 1 && s.gridRows >= 1) {
                const int cellWidth = width / s.gridColumns;
                const int cellHeight = (eightBit ? g.yo + height : height) / s.gridRows;
                const int i = g.yo + r;
                if (cellWidth > 0 && cellHeight > 0 && (i % cellHeight == 0 || j % cellWidth == 0)) {
                    blue = 255 - blue, green = 255 - green, red = 255 - red, grey = 255 - grey;
                }
            }
            // 8. Blanking.
            if (s.blankOutput) {
                blue = green = red = grey = 0;
            }
            if (eightBit) {
                px[0] = static_cast<std::uint8_t>(grey);
            } else {
                px[layout.blue] = static_cast<std::uint8_t>(blue);
                px[layout.green] = static_cast<std::uint8_t>(green);
                px[layout.red] = static_cast<std::uint8_t>(red);
            }
        }
    }

    // End of frame.
    if (s.autoColor && !eightBit) {
        const std::uint8_t *px = out + reference;
        const int blue = px[layout.blue], green = px[layout.green], red = px[layout.red];
        int b = offsets.blue, rr = offsets.red;
        b += green > blue ? 2 : (green < blue ? -2 : 0);
        rr += green > red ? 2 : (green < red ? -2 : 0);
        offsets.blue = static_cast<std::int8_t>(static_cast<std::uint8_t>(b & 0xFF));
        offsets.red = static_cast<std::int8_t>(static_cast<std::uint8_t>(rr & 0xFF));
    }
}
