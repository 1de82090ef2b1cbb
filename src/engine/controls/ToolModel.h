// ToolModel: the plain model of the main window's tools, from which the window builds its menu
// bar, submenus and toolbar. The tools double as the comparison settings (DedupeSettings).
#pragma once

#include "common/DedupeSettings.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// The IDs of the program's tools.
namespace toolIds {
inline constexpr std::string_view ID_File = "ID_File";
inline constexpr std::string_view ID_Exit = "ID_Exit";
inline constexpr std::string_view ID_Selection = "ID_Selection";
inline constexpr std::string_view ID_AddFiles = "ID_AddFiles";
inline constexpr std::string_view ID_AddFolder = "ID_AddFolder";
inline constexpr std::string_view ID_AddFolderRecursive = "ID_AddFolderRecursive";
inline constexpr std::string_view ID_SetFileFilter = "ID_SetFileFilter";
inline constexpr std::string_view ID_RemoveSelection = "ID_RemoveSelection";
inline constexpr std::string_view ID_ClearAll = "ID_ClearAll";
inline constexpr std::string_view ID_SelectDuplicates = "ID_SelectDuplicates";
inline constexpr std::string_view ID_KeepFirst = "ID_KeepFirst";
inline constexpr std::string_view ID_KeepLast = "ID_KeepLast";
inline constexpr std::string_view ID_KeepOldest = "ID_KeepOldest";
inline constexpr std::string_view ID_KeepNewest = "ID_KeepNewest";
inline constexpr std::string_view ID_KeepShortestPath = "ID_KeepShortestPath";
inline constexpr std::string_view ID_KeepLongestPath = "ID_KeepLongestPath";
inline constexpr std::string_view ID_KeepInsideFolder = "ID_KeepInsideFolder";
inline constexpr std::string_view ID_SelectNone = "ID_SelectNone";
inline constexpr std::string_view ID_InvertSelection = "ID_InvertSelection";
inline constexpr std::string_view ID_ProtectedFolders = "ID_ProtectedFolders";
inline constexpr std::string_view ID_UndoDelete = "ID_UndoDelete";
inline constexpr std::string_view ID_Deduplication = "ID_Deduplication";
inline constexpr std::string_view ID_UseName = "ID_UseName";
inline constexpr std::string_view ID_UseExtension = "ID_UseExtension";
inline constexpr std::string_view ID_UseSize = "ID_UseSize";
inline constexpr std::string_view ID_UseCRC = "ID_UseCRC";
inline constexpr std::string_view ID_NameMatchingSettings = "ID_NameMatchingSettings";
inline constexpr std::string_view ID_RemoveBracketedText = "ID_RemoveBracketedText";
inline constexpr std::string_view ID_RemoveNumbers = "ID_RemoveNumbers";
inline constexpr std::string_view ID_RemoveSymbols = "ID_RemoveSymbols";
inline constexpr std::string_view ID_RemoveSpaces = "ID_RemoveSpaces";
inline constexpr std::string_view ID_MatchPercentage = "ID_MatchPercentage";
inline constexpr std::string_view ID_CRCSettings = "ID_CRCSettings";
inline constexpr std::string_view ID_CRCFilesFirst = "ID_CRCFilesFirst";
inline constexpr std::string_view ID_Dedupe = "ID_Dedupe";
inline constexpr std::string_view ID_VerifyDuplicates = "ID_VerifyDuplicates";
inline constexpr std::string_view ID_Help = "ID_Help";
inline constexpr std::string_view ID_Contents = "ID_Contents";
inline constexpr std::string_view ID_About = "ID_About";
} // namespace toolIds

enum class ToolKind {
    Menu,        ///< a heading of the menu bar
    Submenu,     ///< a menu inside a menu
    Button,      ///< a plain command
    StateButton, ///< a command with a tick that each click flips
    ComboBox,    ///< a list of entries with one selected
    Separator,   ///< a line between groups; has no ID
};

/// One entry of a combo box: what it shows and the value the program reads from it.
struct ComboEntry {
    std::string text;
    std::string value;
};

/// The leading-bytes sizes the checksum offers, "1 KB" to "16 MB", each valued in KB.
std::vector<ComboEntry> crcFilesFirstEntries();

class ToolModel;

/// One tool. Its setters tell the model's observer when a value really changes; they never
/// raise a click or a combo change: those come from the user alone.
class Tool {
public:
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;
    ~Tool() = default;

    /// The ID ("ID_UseName"); empty for a separator.
    [[nodiscard]] const std::string& ToolId() const { return m_id; }
    /// The caption; "&" marks the accelerator letter.
    [[nodiscard]] const std::string& caption() const { return m_caption; }
    [[nodiscard]] ToolKind kind() const { return m_kind; }
    /// The hint text (the toolbar's, or why a menu entry is disabled); may be empty.
    [[nodiscard]] const std::string& hint() const { return m_hint; }
    void hint(std::string_view text);
    /// The key that runs it from anywhere in the window ("Ctrl+Z"); empty for none.
    [[nodiscard]] const std::string& shortcut() const { return m_shortcut; }

    /// 0: unticked, 1: ticked. Always 0 for a tool that is not a state button.
    [[nodiscard]] int ToolState() const { return m_state; }
    /// Throws std::invalid_argument for a tool that is not a state button or a state other
    /// than 0 and 1.
    void ToolState(int state);

    [[nodiscard]] bool ToolEnabled() const { return m_enabled; }
    /// A disabled menu or submenu cannot be opened, so nothing in it can be used.
    void ToolEnabled(bool enabled);

    /// The selected entry of a combo box, from 0. Throws std::invalid_argument for a tool that
    /// is not a combo box.
    [[nodiscard]] int ComboListIndex() const;
    /// Throws std::out_of_range for an index that names no entry.
    void ComboListIndex(int index);
    /// The value text of the entry at index ("80", "1024"); throws std::out_of_range for an
    /// index that names no entry.
    [[nodiscard]] const std::string& ComboEntryValue(int index) const;
    /// A combo box's entries in list order; empty for other kinds.
    [[nodiscard]] std::span<const ComboEntry> comboEntries() const { return m_entries; }

    /// The items of a menu or submenu, in order, separators included; empty for other kinds.
    [[nodiscard]] std::span<const Tool* const> children() const { return m_children; }
    /// The menu or submenu the tool sits in; null for a heading of the menu bar.
    [[nodiscard]] const Tool* parent() const { return m_parent; }

private:
    friend class ToolModel;
    Tool(ToolModel& owner, ToolKind kind, std::string_view id, std::string_view caption);

    void checkCombo() const;

    ToolModel* m_owner;
    ToolKind m_kind;
    std::string m_id;
    std::string m_caption;
    std::string m_hint;
    std::string m_shortcut;
    bool m_enabled = true;
    int m_state = 0;
    std::vector<ComboEntry> m_entries;
    int m_listIndex = 0;
    std::vector<const Tool*> m_children;
    const Tool* m_parent = nullptr;
};

/// Told after a tool's value has changed, so that a view can follow the model.
class ToolObserver {
public:
    virtual ~ToolObserver() = default;
    virtual void toolStateChanged(const Tool& tool) = 0;
    virtual void toolEnabledChanged(const Tool& tool) = 0;
    virtual void comboIndexChanged(const Tool& tool) = 0;
    virtual void hintChanged(const Tool& tool) = 0;
};

/// The two events the window handles. A state button's tick has already flipped when
/// ToolClick arrives, and a combo box shows the picked entry when ComboChange arrives.
class ToolEvents {
public:
    virtual ~ToolEvents() = default;
    virtual void ToolClick(Tool& tool) = 0;
    virtual void ComboChange(Tool& tool) = 0;
};

/// The program's tools: the menu bar with its menus and submenus, and the toolbar. A tool may
/// sit in a menu and on the toolbar at once; it is one tool with one state.
class ToolModel {
public:
    /// Every tool at its start value: Use Name unticked and its Name Matching Settings
    /// submenu disabled; the other three Use tools and the four Remove tools ticked; Match
    /// Percentage at "80%" and CRC Files First at "1 MB".
    ToolModel();
    ToolModel(const ToolModel&) = delete;
    ToolModel& operator=(const ToolModel&) = delete;
    ~ToolModel();

    /// The tool with this ID. An unknown ID is a programming error: throws std::out_of_range
    /// naming it.
    [[nodiscard]] Tool& Tools(std::string_view id);
    [[nodiscard]] const Tool& Tools(std::string_view id) const;
    /// The tool with this ID, or null.
    [[nodiscard]] const Tool* findTool(std::string_view id) const;

    /// The headings of the menu bar, left to right.
    [[nodiscard]] std::span<const Tool* const> menuBar() const { return m_menuBar; }
    /// The toolbar, left to right, separators included.
    [[nodiscard]] std::span<const Tool* const> toolbar() const { return m_toolbar; }

    /// Whether the user can reach the tool: it and every menu it sits in are enabled.
    [[nodiscard]] bool isUsable(const Tool& tool) const;

    /// The view reports a click on a tool. A state button's tick flips first; then the event
    /// handler gets ToolClick. A click on a tool the user cannot reach is ignored.
    void ToolClick(std::string_view id);
    /// The view reports that the user picked entry newIndex of a combo box (it may be the
    /// entry already selected). The model selects it; then the event handler gets
    /// ComboChange. Ignored for a combo box the user cannot reach.
    void ComboChange(std::string_view id, int newIndex);

    void setObserver(ToolObserver* observer) { m_observer = observer; }
    void setEventHandler(ToolEvents* events) { m_events = events; }

    /// The comparison settings as the tools hold them now. lngCRCSize is 1024 times the
    /// selected CRC Files First value while CRC Settings is enabled, and 0 while it is not.
    [[nodiscard]] DedupeSettings dedupeSettings() const;

private:
    friend class Tool;

    Tool& addTool(Tool* parent, ToolKind kind, std::string_view id, std::string_view caption);
    void addSeparator(Tool& parent);
    void addToolbarSeparator();
    void addToToolbar(std::string_view id, std::string_view hint);

    void stateChanged(const Tool& tool);
    void enabledChanged(const Tool& tool);
    void comboIndexChanged(const Tool& tool);
    void hintChanged(const Tool& tool);

    std::vector<std::unique_ptr<Tool>> m_tools; // every tool and separator, owned here
    std::vector<const Tool*> m_menuBar;
    std::vector<const Tool*> m_toolbar;
    ToolObserver* m_observer = nullptr;
    ToolEvents* m_events = nullptr;
};

} // namespace corvelle
