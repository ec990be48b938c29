// Parsing the MIDLIB_SIM text: space-separated key=value pairs whose values
// may be comma lists, one item per camera (the last item repeats).
#include "sim/midlib/sim_config.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace midsim {
namespace {

// Splits `text` at unquoted `separator`s (any whitespace when it is ' ');
// double quotes group characters and are removed. Empty pieces are kept
// unless they stem from whitespace runs.
std::vector<std::string> splitUnquoted(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::string current;
    bool quoted = false;
    bool pending = separator != ' ';
    for (const char c : text) {
        const bool isSeparator = separator == ' ' ? (c == ' ' || c == '\t' || c == '\n' || c == '\r') : c == separator;
        if (c == '"') {
            quoted = !quoted;
            pending = true;
        } else if (isSeparator && !quoted) {
            if (pending || !current.empty()) {
                pieces.push_back(current);
            }
            current.clear();
            pending = separator != ' ';
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending || !current.empty()) {
        pieces.push_back(current);
    }
    return pieces;
}

std::optional<long long> parseInteger(const std::string &text, long long low, long long high) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    std::size_t at = text[0] == '-' ? 1 : 0;
    if (at == text.size()) {
        return std::nullopt;
    }
    long long value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[at] - '0');
    }
    value = text[0] == '-' ? -value : value;
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> parseChoice(const std::string &text, std::initializer_list<long long> choices) {
    const auto value = parseInteger(text, -1000000, 1000000);
    if (value && std::find(choices.begin(), choices.end(), *value) != choices.end()) {
        return value;
    }
    return std::nullopt;
}

void report(const std::string &line) {
    std::fprintf(stderr, "midlib-sim: %s\n", line.c_str());
    std::fflush(stderr);
}

// Parses every item with `parse`; when all are good, hands camera i the item
// i (the last one for the cameras beyond the list) through `apply`.
template <typename Parse, typename Apply>
bool applyPerCamera(const std::vector<std::string> &items, SimConfig &config, std::string &badItem, Parse parse,
                    Apply apply) {
    std::vector<long long> values;
    for (const auto &item : items) {
        const std::optional<long long> value = parse(item);
        if (!value) {
            badItem = item;
            return false;
        }
        values.push_back(*value);
    }
    for (std::size_t i = 0; i < config.cameras.size(); ++i) {
        apply(config.cameras[i], values[std::min(i, values.size() - 1)]);
    }
    return true;
}

struct ParseState {
    SimConfig &config;
    int problems = 0;
    bool camerasGiven = false;
    bool variantGiven = false;
    bool addressModeGiven = false;
    std::size_t longestList = 1;
};

bool applyScene(const std::vector<std::string> &items, SimConfig &config, std::string &badItem, std::string &why) {
    std::vector<CameraConfig> scenes;
    for (const auto &item : items) {
        CameraConfig scene;
        if (item == "bars") {
            scene.scene = SceneKind::Bars;
        } else if (item == "gradient") {
            scene.scene = SceneKind::Gradient;
        } else if (item.rfind("file:", 0) == 0) {
            scene.scene = SceneKind::File;
            scene.image = loadBmp24(item.substr(5), why);
        }
        if ((scene.scene == SceneKind::File && !scene.image) ||
            (item != "bars" && item != "gradient" && item.rfind("file:", 0) != 0)) {
            badItem = item;
            return false;
        }
        scenes.push_back(scene);
    }
    for (std::size_t i = 0; i < config.cameras.size(); ++i) {
        const CameraConfig &scene = scenes[std::min(i, scenes.size() - 1)];
        config.cameras[i].scene = scene.scene;
        config.cameras[i].image = scene.image;
    }
    return true;
}

bool applyFail(const std::vector<std::string> &items, SimConfig &config, std::string &badItem) {
    bool open = false;
    bool none = false;
    for (const auto &item : items) {
        if (item == "open") {
            open = true;
        } else if (item == "nocamera") {
            none = true;
        } else if (item != "none") {
            badItem = item;
            return false;
        }
    }
    config.failOpen = open;
    config.noCamera = none;
    return true;
}

std::optional<long long> parseSensorType(const std::string &item) {
    return parseChoice(item, {1, 2, 3});
}
std::optional<long long> parseVariant(const std::string &item) {
    return parseChoice(item, {12, 48});
}
std::optional<long long> parseFlag(const std::string &item) {
    return parseChoice(item, {0, 1});
}
std::optional<long long> parseSerial(const std::string &item) {
    return parseInteger(item, 0, 655359999);
}
std::optional<long long> parseNoise(const std::string &item) {
    return parseInteger(item, 0, 255);
}
std::optional<long long> parseHotPixels(const std::string &item) {
    return parseInteger(item, 0, 10000);
}

std::optional<long long> parsePace(const std::string &item) {
    if (item == "sensor") {
        return -1;
    }
    if (item == "free") {
        return 0;
    }
    return parseInteger(item, 1, 1000);
}

std::optional<long long> parseUnplugAfter(const std::string &item) {
    return item == "never" ? std::optional<long long>(-1) : parseInteger(item, 0, 1000000000);
}

using ItemParser = std::optional<long long> (*)(const std::string &);
using ItemSetter = void (*)(CameraConfig &, long long);

// The keys whose items are numbers (or words standing for numbers), one per camera.
struct NumericKey {
    const char *name;
    const char *expected;
    long long fallback; // the default, restored after a bad value
    ItemParser parse;
    ItemSetter set;
};

const NumericKey kNumericKeys[] = {
    {"sensor", "1, 2 or 3", 1, parseSensorType,
     [](CameraConfig &c, long long v) { c.sensorType = static_cast<int>(v); }},
    {"variant", "12 or 48", 12, parseVariant, [](CameraConfig &c, long long v) { c.variant = static_cast<int>(v); }},
    {"addressmode", "0 or 1", 0, parseFlag, [](CameraConfig &c, long long v) { c.addressMode = v != 0; }},
    {"serial", "0 to 655359999", -1, parseSerial, [](CameraConfig &c, long long v) { c.serial = v; }},
    {"static", "0 or 1", 0, parseFlag, [](CameraConfig &c, long long v) { c.staticScene = v != 0; }},
    {"noise", "0 to 255", 0, parseNoise, [](CameraConfig &c, long long v) { c.noise = static_cast<int>(v); }},
    {"hotpixels", "0 to 10000", 0, parseHotPixels,
     [](CameraConfig &c, long long v) { c.hotPixels = static_cast<int>(v); }},
    {"pace", "sensor, free or frames per second 1 to 1000", -1, parsePace,
     [](CameraConfig &c, long long v) { c.pace = static_cast<int>(v); }},
    {"unplug_after", "never or a frame count 0 to 1000000000", -1, parseUnplugAfter,
     [](CameraConfig &c, long long v) { c.unplugAfter = static_cast<int>(v); }},
};

bool applyCameraCount(ParseState &state, const std::vector<std::string> &items, std::string &badItem) {
    const auto count = items.size() == 1 ? parseInteger(items[0], 0, kMaxCameras) : std::nullopt;
    if (!count) {
        for (const auto &item : items) {
            badItem += (badItem.empty() ? "" : ",") + item;
        }
        return false;
    }
    state.config.cameraCount = static_cast<int>(*count);
    state.camerasGiven = true;
    return true;
}

// Applies one key; returns false with the offending item and the accepted
// values for the message when the value is bad (no accepted values: an
// unknown key).
bool applyKey(ParseState &state, const std::string &key, const std::vector<std::string> &items, std::string &badItem,
              std::string &expected) {
    for (const NumericKey &numeric : kNumericKeys) {
        if (key == numeric.name) {
            expected = numeric.expected;
            const bool good = applyPerCamera(items, state.config, badItem, numeric.parse, numeric.set);
            state.variantGiven = state.variantGiven || (good && key == "variant");
            state.addressModeGiven = state.addressModeGiven || (good && key == "addressmode");
            return good;
        }
    }
    if (key == "cameras") {
        expected = "0 to 20";
        return applyCameraCount(state, items, badItem);
    }
    if (key == "scene") {
        std::string why;
        const bool good = applyScene(items, state.config, badItem, why);
        expected = why.empty() ? "bars, gradient or file:PATH" : "file:PATH of a readable 24-bit BMP: " + why;
        return good;
    }
    if (key == "fail") {
        expected = "open, nocamera or none";
        return applyFail(items, state.config, badItem);
    }
    expected.clear();
    return false;
}

// Restores the settings `key` controls to their defaults after a bad value.
void resetKey(SimConfig &config, const std::string &key) {
    for (const NumericKey &numeric : kNumericKeys) {
        if (key == numeric.name) {
            for (CameraConfig &camera : config.cameras) {
                numeric.set(camera, numeric.fallback);
            }
        }
    }
    if (key == "cameras") {
        config.cameraCount = SimConfig{}.cameraCount;
    } else if (key == "fail") {
        config.failOpen = false;
        config.noCamera = false;
    } else if (key == "scene") {
        for (CameraConfig &camera : config.cameras) {
            camera.scene = SceneKind::Bars;
            camera.image = nullptr;
        }
    }
}

void parseToken(ParseState &state, const std::string &token) {
    const std::size_t equals = token.find('=');
    if (equals == std::string::npos || equals == 0) {
        report("ignoring \"" + token + "\": expected key=value");
        ++state.problems;
        return;
    }
    const std::string key = token.substr(0, equals);
    const std::vector<std::string> items = splitUnquoted(std::string_view(token).substr(equals + 1), ',');
    std::string badItem;
    std::string expected;
    if (!items.empty() && applyKey(state, key, items, badItem, expected)) {
        if (key != "cameras" && key != "fail") {
            state.longestList = std::max(state.longestList, items.size());
        }
        return;
    }
    ++state.problems;
    if (expected.empty()) {
        report("unknown key \"" + key + "\" ignored");
        return;
    }
    report("bad value \"" + badItem + "\" for " + key + " (expected " + expected + "); using the default");
    resetKey(state.config, key);
    if (key == "variant") {
        state.variantGiven = false;
    } else if (key == "addressmode") {
        state.addressModeGiven = false;
    }
}

} // namespace

int parseConfig(const char *text, SimConfig &config) {
    config = SimConfig{};
    ParseState state{config};
    if (text != nullptr) {
        for (const auto &token : splitUnquoted(text, ' ')) {
            parseToken(state, token);
        }
    }
    if (!state.camerasGiven) {
        config.cameraCount = static_cast<int>(std::min<std::size_t>(state.longestList, kMaxCameras));
    }
    // The 2048 x 1536 chip is the variant-48, address-mode one unless told otherwise.
    for (CameraConfig &camera : config.cameras) {
        if (camera.sensorType == 3 && !state.variantGiven) {
            camera.variant = 48;
        }
        if (camera.sensorType == 3 && !state.addressModeGiven) {
            camera.addressMode = true;
        }
    }
    return state.problems;
}

} // namespace midsim
