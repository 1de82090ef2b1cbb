// The comparison settings that the window's tools hold and the dedupe passes read.
#pragma once

#include <cstdint>

namespace corvelle {

/// Field names and start values are those of the window's tools at start-up.
struct DedupeSettings {
    bool blnUseName = false;
    bool blnUseExtension = true;
    bool blnUseSize = true;
    bool blnUseCRC = true;
    bool blnRemoveBracketedText = true;
    bool blnRemoveNumbers = true;
    bool blnRemoveSymbols = true;
    bool blnRemoveSpaces = true;
    std::int32_t lngMatchScore = 80;
    std::int32_t lngCRCFilesFirstKB = 1024;
    /// Leading bytes of each file to checksum; 0 while checksums are off.
    std::int32_t lngCRCSize = 1024 * 1024;

    [[nodiscard]] bool anyCriterion() const
    {
        return blnUseName || blnUseExtension || blnUseSize || blnUseCRC;
    }
};

} // namespace corvelle
