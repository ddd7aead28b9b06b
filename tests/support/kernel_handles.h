// The kernel objects (sockets, events, threads, files) a process holds,
// counted in the system's handle table: Wine answers GetProcessHandleCount
// with 0 but keeps that table. Shared by the tests and the benchmarks.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace qdxtest {

// The number of handles of process processId; -1 when the table cannot be read.
inline long KernelHandles(DWORD processId) {
    struct Entry {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR value;
        ULONG access;
        USHORT backTrace, type;
        ULONG attributes, reserved;
    };
    struct Table {
        ULONG_PTR count, reserved;
        Entry entries[1];
    };
    using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    const ULONG kExtendedHandleInformation = 64;
    std::vector<char> buffer(1 << 22);
    ULONG needed = 0;
    if (!query || query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0)
        return -1;
    const Table* table = reinterpret_cast<const Table*>(buffer.data());
    long n = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) n += table->entries[i].processId == processId;
    return n;
}

}  // namespace qdxtest
