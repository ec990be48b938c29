// FuzzInput: reads the values of one fuzz case from the fuzzer's bytes.
// Past the end every read gives 0 (or the smallest value), so a short input
// is still a whole case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t *bytes, std::size_t size) : data(bytes), left(size) {}

    std::uint8_t Byte() {
        if (left == 0)
            return 0;
        --left;
        return *data++;
    }
    bool Flag() { return (Byte() & 1) != 0; }
    // A value in [low, high].
    int Between(int low, int high) {
        const std::uint32_t span = std::uint32_t(high - low) + 1u;
        std::uint32_t value = Byte();
        if (span > 256)
            value = (value << 8) | Byte();
        if (span > 65536)
            value = (value << 8) | Byte();
        return low + int(value % span);
    }
    // Up to `maximum` bytes as a string (a length byte, then the bytes).
    std::string Text(std::size_t maximum) {
        const std::size_t length = std::min<std::size_t>(Byte() | std::size_t(Byte()) << 8, maximum);
        std::string text;
        while (text.size() < length && left > 0)
            text.push_back(static_cast<char>(Byte()));
        return text;
    }
    // Everything not read yet.
    const std::uint8_t *Rest() const { return data; }
    std::size_t RestSize() const { return left; }

private:
    const std::uint8_t *data;
    std::size_t left;
};

// A finding: prints what failed and aborts, which libFuzzer and the replay
// test both report with the input that caused it.
#define FUZZ_CHECK(condition, ...)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "fuzz check failed: %s: ", #condition);                                               \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
