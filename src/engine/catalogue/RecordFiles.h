// The two work files of a dedupe run: "dedupe.dat" (613-byte export records) and
// "dupelist.dat" (8-byte head/duplicate pairs), and what the export remembers of what it wrote.
#pragma once

#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

namespace dedupe_record {
inline constexpr std::size_t kSize = 613;
inline constexpr std::size_t kIdOffset = 0;
inline constexpr std::size_t kFileOffset = 4;
inline constexpr std::size_t kExtensionOffset = 304;
inline constexpr std::size_t kTextBytes = 300;
inline constexpr std::size_t kSizeOffset = 604;
inline constexpr std::size_t kCrcOffset = 608;
inline constexpr std::size_t kGroupedOffset = 612;
} // namespace dedupe_record

inline constexpr std::size_t kDupePairSize = 8;

/// One record of the pair file: a duplicate and the head of its group.
struct DupePair {
    RecordId head;
    RecordId dupe;
};

using DedupeRecordBytes = std::array<char, dedupe_record::kSize>;

/// Fills one export record: texts in code page 1252 cut or padded to 300 bytes, the size's low
/// 32 bits, the checksum's bit pattern, Grouped 0.
void encodeDedupeRecord(RecordId id, std::string_view file, std::string_view extension,
                        FileSize size, CrcValue crc, char* out);

void putInt32(char* out, std::int32_t value);
std::int32_t getInt32(const char* in);

/// What identifies a file's content as last seen: same device, inode, length and change time.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
    static std::optional<FileIdentity> of(const std::filesystem::path& file);
};

/// The records as the export wrote them, with what the export file cannot hold: the names'
/// full Unicode text, 64-bit sizes, which checksums failed and which physical file each
/// record is. The grouping pass uses it while the export file is unchanged since; otherwise
/// it reads the file itself and takes the identities from the catalogue by ID.
struct ExportSnapshot {
    std::vector<RecordId> ids;
    std::vector<FileSize> sizes;
    std::vector<Checksum> crcs;
    std::vector<PhysicalFile> physicalFiles;
    std::vector<std::uint8_t> grouped;
    std::string names; // the File texts, back to back
    std::vector<std::size_t> nameEnds;
    std::string extensions; // the Extension texts, back to back
    std::vector<std::size_t> extensionEnds;
    std::filesystem::path file;
    FileIdentity identity;

    void clear();
    /// Room for this many records, so that a long export does not grow its arrays step by step.
    void reserve(std::size_t records);
    void add(RecordId id, std::string_view name, std::string_view extension, FileSize size,
             Checksum crc, PhysicalFile physicalFile);
    [[nodiscard]] std::size_t size() const { return ids.size(); }
    [[nodiscard]] std::string_view name(std::size_t i) const;
    [[nodiscard]] std::string_view extension(std::size_t i) const;
};

} // namespace corvelle
