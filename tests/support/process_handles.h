// The number of handles this process holds, for the soaks' resource checks
// under Wine as on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// Handles of this process in the system's handle table. GetProcessHandleCount
// is the direct way, but Wine answers it with 0.
inline long long CountHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return count;
    }
    using QuerySystemInformation = LONG(NTAPI *)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    struct HandleEntry {
        ULONG process;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<std::uint8_t> table(1 << 20);
    ULONG length = 0;
    while (query != nullptr && query(kSystemHandleInformation, table.data(), ULONG(table.size()), &length) ==
                                   static_cast<LONG>(0xC0000004L)) { // buffer too small
        table.resize(table.size() * 2);
    }
    const ULONG entries = *reinterpret_cast<const ULONG *>(table.data());
    const auto *entry = reinterpret_cast<const HandleEntry *>(table.data() + sizeof(ULONG_PTR));
    long long mine = 0;
    for (ULONG i = 0; i < entries && (i + 1) * sizeof(HandleEntry) < table.size(); ++i) {
        mine += entry[i].process == GetCurrentProcessId() ? 1 : 0;
    }
    return mine;
}
