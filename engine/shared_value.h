// A value that one thread writes while others read it without a lock: the
// engine's settings (written by the caller's thread, read by the converter on
// the streaming threads) and its frame-rate figures (written by the
// acquisition thread). Each access is a single relaxed atomic load or store,
// so readers see either the old or the new value, never a torn one, and the
// code reads like plain member access.
#pragma once

#include <atomic>

template <typename T> class SharedValue {
public:
    constexpr SharedValue() : value(T{}) {}
    constexpr SharedValue(T initial) : value(initial) {} // NOLINT: implicit on purpose

    SharedValue(const SharedValue &) = delete;
    SharedValue &operator=(const SharedValue &) = delete;

    operator T() const { return value.load(std::memory_order_relaxed); } // NOLINT: implicit on purpose
    T get() const { return value.load(std::memory_order_relaxed); }

    SharedValue &operator=(T next) {
        value.store(next, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value;
};
