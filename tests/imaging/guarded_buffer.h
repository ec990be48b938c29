// A test buffer placed directly against an inaccessible page, after its last
// byte or before its first, so that any access past that end faults.
#pragma once

#include <cstddef>
#include <cstdint>

class GuardedBuffer {
public:
    enum class Guard { kAfter, kBefore };

    GuardedBuffer(std::size_t size, Guard guard);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    std::uint8_t *data() const { return bytes; }
    std::size_t size() const { return length; }

private:
    void *mapping = nullptr;
    std::size_t mappingSize = 0;
    std::uint8_t *bytes = nullptr;
    std::size_t length = 0;
};
