// GuardedBuffer on the platform's page protection.
#include "guarded_buffer.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::size_t PageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

void *MapReadWrite(std::size_t size) {
#if defined(_WIN32)
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
}

void ProtectNone(void *page, std::size_t size) {
#if defined(_WIN32)
    DWORD old = 0;
    VirtualProtect(page, size, PAGE_NOACCESS, &old);
#else
    mprotect(page, size, PROT_NONE);
#endif
}

void Unmap(void *p, std::size_t size) {
#if defined(_WIN32)
    (void)size;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    munmap(p, size);
#endif
}

} // namespace

GuardedBuffer::GuardedBuffer(std::size_t size, Guard guard) : length(size) {
    const std::size_t page = PageSize();
    const std::size_t dataPages = (size + page - 1) / page;
    mappingSize = (dataPages + 1) * page;
    mapping = MapReadWrite(mappingSize);
    if (mapping == nullptr) {
        std::abort();
    }
    auto *base = static_cast<std::uint8_t *>(mapping);
    if (guard == Guard::kAfter) {
        ProtectNone(base + dataPages * page, page);
        bytes = base + dataPages * page - size;
    } else {
        ProtectNone(base, page);
        bytes = base + page;
    }
}

GuardedBuffer::~GuardedBuffer() {
    Unmap(mapping, mappingSize);
}
