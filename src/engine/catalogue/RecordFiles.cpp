#include "catalogue/RecordFiles.h"

#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <cstring>
#include <sys/stat.h>

namespace corvelle {
namespace {

/// Writes a text into a 300-byte field: ASCII goes straight through (the common case),
/// anything else through the Unicode decoding.
void putText(std::string_view bytes, char* out)
{
    using dedupe_record::kTextBytes;
    bool ascii = true;
    for (std::size_t i = 0; i < bytes.size() && i < kTextBytes; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        const std::size_t n = std::min(bytes.size(), kTextBytes);
        std::memcpy(out, bytes.data(), n);
        std::memset(out + n, ' ', kTextBytes - n);
        return;
    }
    encodeCodePage1252(decodeName(bytes, kTextBytes), kTextBytes, out);
}

} // namespace

void putInt32(char* out, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
    }
}

std::int32_t getInt32(const char* in)
{
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) {
        bits = (bits << 8) | static_cast<unsigned char>(in[i]);
    }
    return static_cast<std::int32_t>(bits);
}

void encodeDedupeRecord(RecordId id, std::string_view file, std::string_view extension,
                        FileSize size, CrcValue crc, char* out)
{
    using namespace dedupe_record;
    putInt32(out + kIdOffset, id.value());
    putText(file, out + kFileOffset);
    putText(extension, out + kExtensionOffset);
    putInt32(out + kSizeOffset, size.low32());
    putInt32(out + kCrcOffset, crc.stored());
    out[kGroupedOffset] = 0;
}

std::optional<FileIdentity> FileIdentity::of(const std::filesystem::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{
        static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        static_cast<std::int64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

void ExportSnapshot::clear()
{
    *this = ExportSnapshot{};
}

void ExportSnapshot::reserve(std::size_t records)
{
    ids.reserve(records);
    sizes.reserve(records);
    crcs.reserve(records);
    physicalFiles.reserve(records);
    grouped.reserve(records);
    nameEnds.reserve(records);
    extensionEnds.reserve(records);
}

void ExportSnapshot::add(RecordId id, std::string_view name, std::string_view extension,
                         FileSize size, Checksum crc, PhysicalFile physicalFile)
{
    ids.push_back(id);
    sizes.push_back(size);
    crcs.push_back(crc);
    physicalFiles.push_back(physicalFile);
    grouped.push_back(0);
    names.append(name);
    nameEnds.push_back(names.size());
    extensions.append(extension);
    extensionEnds.push_back(extensions.size());
}

std::string_view ExportSnapshot::name(std::size_t i) const
{
    const std::size_t begin = i == 0 ? 0 : nameEnds[i - 1];
    return std::string_view(names).substr(begin, nameEnds[i] - begin);
}

std::string_view ExportSnapshot::extension(std::size_t i) const
{
    const std::size_t begin = i == 0 ? 0 : extensionEnds[i - 1];
    return std::string_view(extensions).substr(begin, extensionEnds[i] - begin);
}

} // namespace corvelle
