#include "PeImage.h"

#include <QtEndian>

namespace peimage {
namespace {

constexpr quint32 kDosHeaderSize = 64;
constexpr quint32 kNewHeaderOffsetAt = 0x3C; // e_lfanew
constexpr quint32 kCoffHeaderSize = 20;
constexpr quint32 kSectionHeaderSize = 40;
constexpr quint16 kCharacteristicExecutable = 0x0002; // IMAGE_FILE_EXECUTABLE_IMAGE
constexpr quint16 kCharacteristicDll = 0x2000;        // IMAGE_FILE_DLL
constexpr quint16 kMagicPe32 = 0x10B;
constexpr quint16 kMagicPe32Plus = 0x20B;
// Up to SizeOfHeaders (offset 60), the same in PE32 and PE32+.
constexpr quint16 kOptionalHeaderMinimum = 64;
constexpr quint32 kSizeOfHeadersAt = 60;

quint16 le16(const uchar *p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 le32(const uchar *p)
{
    return qFromLittleEndian<quint32>(p);
}

// Raw data of every section inside the file; an empty section has none.
bool sectionsFit(const ReadAt &read, quint64 tableOffset, quint16 count, quint64 fileSize)
{
    if (tableOffset > fileSize || quint64(count) * kSectionHeaderSize > fileSize - tableOffset)
        return false;
    for (quint16 i = 0; i < count; ++i) {
        uchar section[kSectionHeaderSize];
        if (!read(tableOffset + quint64(i) * kSectionHeaderSize, section, kSectionHeaderSize))
            return false;
        const quint64 rawSize = le32(section + 16);
        const quint64 rawOffset = le32(section + 20);
        if (rawSize != 0 && (rawOffset > fileSize || rawSize > fileSize - rawOffset))
            return false;
    }
    return true;
}

} // namespace

bool isLoadableDll(const ReadAt &read, quint64 fileSize, quint16 machine)
{
    uchar dos[kDosHeaderSize];
    if (fileSize < kDosHeaderSize || !read(0, dos, kDosHeaderSize) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const quint64 peOffset = le32(dos + kNewHeaderOffsetAt);
    if (peOffset > fileSize || fileSize - peOffset < 4 + kCoffHeaderSize + kOptionalHeaderMinimum)
        return false;

    uchar pe[4 + kCoffHeaderSize + kOptionalHeaderMinimum];
    if (!read(peOffset, pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return false;
    const uchar *coff = pe + 4;
    const quint16 characteristics = le16(coff + 18);
    if (le16(coff) != machine || !(characteristics & kCharacteristicDll)
        || !(characteristics & kCharacteristicExecutable))
        return false;
    const quint16 sectionCount = le16(coff + 2);
    const quint16 optionalSize = le16(coff + 16);
    if (sectionCount == 0 || optionalSize < kOptionalHeaderMinimum)
        return false;

    const uchar *optional = coff + kCoffHeaderSize;
    const quint16 wantedMagic = machine == kMachineI386 ? kMagicPe32 : kMagicPe32Plus;
    if (le16(optional) != wantedMagic || le32(optional + kSizeOfHeadersAt) > fileSize)
        return false;
    const quint64 sectionTable = peOffset + 4 + kCoffHeaderSize + optionalSize;
    return sectionsFit(read, sectionTable, sectionCount, fileSize);
}

} // namespace peimage
