// The headers of a Windows DLL (the PE format), looked at before the loader
// maps the file. Portable: it reads through a callback, so the same check
// runs on the file Windows is about to load and on bytes in a test.
#pragma once

#include <QtGlobal>

#include <functional>

namespace peimage {

// IMAGE_FILE_MACHINE_* of the COFF header.
constexpr quint16 kMachineAmd64 = 0x8664;
constexpr quint16 kMachineArm64 = 0xAA64;
constexpr quint16 kMachineI386 = 0x014C;

// Reads `length` bytes at `offset`; false when the file holds fewer.
using ReadAt = std::function<bool(quint64 offset, void *buffer, quint32 length)>;

// True when the file of `fileSize` bytes starts with a DOS stub ("MZ") that
// leads to a PE signature, is a DLL for `machine` with the optional header
// of its word size, and every section's raw data lies within the file.
bool isLoadableDll(const ReadAt &read, quint64 fileSize, quint16 machine);

// The machine this process runs as.
constexpr quint16 ownMachine()
{
#if defined(__aarch64__) || defined(_M_ARM64)
    return kMachineArm64;
#elif defined(__x86_64__) || defined(_M_X64)
    return kMachineAmd64;
#else
    return kMachineI386;
#endif
}

} // namespace peimage
