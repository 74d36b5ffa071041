// The file systems the Linux side tells apart, by the type statfs() gives
// (Folder::fileSystemKind()).
#pragma once

#include <QtGlobal>

namespace vaultine {

namespace filesystemkind {

constexpr quint64 kExt = 0xEF53; // ext2, ext3, ext4
constexpr quint64 kXfs = 0x58465342;
constexpr quint64 kBtrfs = 0x9123683E;
constexpr quint64 kF2fs = 0xF2F52010;
constexpr quint64 kZfs = 0x2FC12FC1;
constexpr quint64 kOverlay = 0x794C7630;
constexpr quint64 kTmpfs = 0x01021994;
constexpr quint64 kFat = 0x4d44;       // vfat, msdos
constexpr quint64 kExfat = 0x2011BAB0; // the kernel's
constexpr quint64 kNtfs3 = 0x7366746e; // the kernel's
constexpr quint64 kFuse = 0x65735546;  // ntfs-3g, exfat-fuse, sshfs, …

} // namespace filesystemkind

} // namespace vaultine
