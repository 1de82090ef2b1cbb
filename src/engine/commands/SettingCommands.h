// SettingCommands: how the settings tools keep their dependent states in step, and how the
// listed files' checksums stay true to the checksum settings.
#pragma once

#include "controls/ToolModel.h"

#include <functional>
#include <string_view>

namespace corvelle {

/// The question asked before a checksum setting changes while files are listed.
inline constexpr std::string_view clearListQuestion =
    "Changing this setting will clear the file list, are you sure?";

/// Keeps the tools that depend on a setting in step with it, and keeps the listed files'
/// checksums true to the checksum settings: while files are listed, a checksum setting
/// changes only after the user agreed to clear them, and is taken back otherwise.
class SettingCommands {
public:
    /// Asks clearListQuestion and, on Yes, empties the catalogue and both lists without a
    /// further question. Returns whether it cleared.
    using ConfirmClear = std::function<bool()>;

    explicit SettingCommands(ToolModel& tools);

    /// Use Name was clicked: Name Matching Settings is enabled exactly while it is ticked.
    void UseNameClicked();
    /// Use CRC was clicked (its tick already flipped). Afterwards CRC Settings is enabled
    /// exactly while Use CRC is ticked; ticking it with files listed asks first, and a No
    /// unticks it again.
    void UseCRCClicked(bool filesListed, const ConfirmClear& confirmClear);
    /// The user picked a CRC Files First entry. With files listed, a different entry asks
    /// first; a No selects the former entry again.
    void CRCFilesFirstChanged(bool filesListed, const ConfirmClear& confirmClear);

    /// The CRC Files First entry that the listed files' checksums were computed with.
    [[nodiscard]] int intCRCListIndex() const { return m_crcListIndex; }
    /// The CRC columns of both lists are shown exactly while CRC Settings is enabled.
    [[nodiscard]] bool crcColumnsShown() const;

private:
    ToolModel& m_tools;
    int m_crcListIndex;
};

} // namespace corvelle
