// The program's tools, their start values, and the events and settings read through them.
#include "controls/ToolModel.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvelle {
namespace {

using namespace toolIds;

constexpr int kMatchPercentageStartIndex = 2; // "80%"
constexpr int kCRCFilesFirstStartIndex = 10;  // "1 MB"

std::vector<ComboEntry> matchPercentageEntries()
{
    return {{"100%", "100"}, {"90%", "90"}, {"80%", "80"},
            {"70%", "70"},   {"60%", "60"}, {"50%", "50"}};
}

std::int32_t selectedValue(const Tool& combo)
{
    const std::string& text = combo.ComboEntryValue(combo.ComboListIndex());
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        throw std::logic_error(combo.ToolId() + " holds a value that is not a number: " + text);
    }
    return value;
}

} // namespace

std::vector<ComboEntry> crcFilesFirstEntries()
{
    return {{"1 KB", "1"},     {"2 KB", "2"},     {"4 KB", "4"},     {"8 KB", "8"},
            {"16 KB", "16"},   {"32 KB", "32"},   {"64 KB", "64"},   {"128 KB", "128"},
            {"256 KB", "256"}, {"512 KB", "512"}, {"1 MB", "1024"},  {"2 MB", "2048"},
            {"4 MB", "4096"},  {"8 MB", "8192"},  {"16 MB", "16384"}};
}

Tool::Tool(ToolModel& owner, ToolKind kind, std::string_view id, std::string_view caption)
    : m_owner(&owner)
    , m_kind(kind)
    , m_id(id)
    , m_caption(caption)
{}

void Tool::ToolState(int state)
{
    if (m_kind != ToolKind::StateButton) {
        throw std::invalid_argument(m_id + " is not a state button");
    }
    if (state != 0 && state != 1) {
        throw std::invalid_argument("a tool's state is 0 or 1, not " + std::to_string(state));
    }
    if (state == m_state) {
        return;
    }
    m_state = state;
    m_owner->stateChanged(*this);
}

void Tool::ToolEnabled(bool enabled)
{
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    m_owner->enabledChanged(*this);
}

void Tool::hint(std::string_view text)
{
    if (text == m_hint) {
        return;
    }
    m_hint = text;
    m_owner->hintChanged(*this);
}

void Tool::checkCombo() const
{
    if (m_kind != ToolKind::ComboBox) {
        throw std::invalid_argument(m_id + " is not a combo box");
    }
}

int Tool::ComboListIndex() const
{
    checkCombo();
    return m_listIndex;
}

void Tool::ComboListIndex(int index)
{
    checkCombo();
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        throw std::out_of_range(m_id + " has no entry " + std::to_string(index));
    }
    if (index == m_listIndex) {
        return;
    }
    m_listIndex = index;
    m_owner->comboIndexChanged(*this);
}

const std::string& Tool::ComboEntryValue(int index) const
{
    checkCombo();
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        throw std::out_of_range(m_id + " has no entry " + std::to_string(index));
    }
    return m_entries[static_cast<std::size_t>(index)].value;
}

ToolModel::ToolModel()
{
    Tool& file = addTool(nullptr, ToolKind::Menu, ID_File, "&File");
    addTool(&file, ToolKind::Button, ID_Exit, "E&xit");

    Tool& selection = addTool(nullptr, ToolKind::Menu, ID_Selection, "&Selection");
    addTool(&selection, ToolKind::Button, ID_AddFiles, "&Add Files");
    addTool(&selection, ToolKind::Button, ID_AddFolder, "Add &Folder");
    addTool(&selection, ToolKind::Button, ID_AddFolderRecursive, "Add Folder &Recursive");
    addSeparator(selection);
    addTool(&selection, ToolKind::Button, ID_SetFileFilter, "Se&t File Filter (*.*)");
    addSeparator(selection);
    addTool(&selection, ToolKind::Button, ID_RemoveSelection, "Remove &Selection");
    addTool(&selection, ToolKind::Button, ID_ClearAll, "&Clear All");
    // Reviewing the duplicate list, after the entries the window always had.
    addSeparator(selection);
    Tool& selectDuplicates =
        addTool(&selection, ToolKind::Submenu, ID_SelectDuplicates, "Select &Duplicates");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepFirst, "Keep the &First Row");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepLast, "Keep the &Last Row");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepOldest, "Keep the &Oldest");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepNewest, "Keep the &Newest");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepShortestPath, "Keep the &Shortest Path");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepLongestPath, "Keep the Lon&gest Path");
    addTool(&selectDuplicates, ToolKind::Button, ID_KeepInsideFolder,
            "Keep the One &Inside a Folder...");
    addTool(&selection, ToolKind::Button, ID_SelectNone, "Select &None");
    addTool(&selection, ToolKind::Button, ID_InvertSelection, "&Invert Selection within Groups");
    addSeparator(selection);
    addTool(&selection, ToolKind::Button, ID_ProtectedFolders, "&Protected Folders...");
    addTool(&selection, ToolKind::Button, ID_UndoDelete, "&Undo Delete").m_shortcut = "Ctrl+Z";

    Tool& dedup = addTool(nullptr, ToolKind::Menu, ID_Deduplication, "&Deduplication");
    addTool(&dedup, ToolKind::StateButton, ID_UseName, "Use &Name");
    addTool(&dedup, ToolKind::StateButton, ID_UseExtension, "Use &Extension").m_state = 1;
    addTool(&dedup, ToolKind::StateButton, ID_UseSize, "Use &Size").m_state = 1;
    addTool(&dedup, ToolKind::StateButton, ID_UseCRC, "Use &CRC").m_state = 1;
    addSeparator(dedup);
    Tool& nameSettings =
        addTool(&dedup, ToolKind::Submenu, ID_NameMatchingSettings, "Name &Matching Settings");
    nameSettings.m_enabled = false; // follows Use Name, which starts unticked
    Tool& crcSettings = addTool(&dedup, ToolKind::Submenu, ID_CRCSettings, "C&RC Settings");
    addSeparator(dedup);
    addTool(&dedup, ToolKind::Button, ID_Dedupe, "&Dedupe");
    addTool(&dedup, ToolKind::Button, ID_VerifyDuplicates, "&Verify Duplicates");

    addTool(&nameSettings, ToolKind::StateButton, ID_RemoveBracketedText, "Remove &Bracketed Text")
        .m_state = 1;
    addTool(&nameSettings, ToolKind::StateButton, ID_RemoveNumbers, "Remove &Numbers").m_state = 1;
    addTool(&nameSettings, ToolKind::StateButton, ID_RemoveSymbols, "&Remove Symbols").m_state = 1;
    addTool(&nameSettings, ToolKind::StateButton, ID_RemoveSpaces, "Remove &Spaces").m_state = 1;
    Tool& matchPercentage =
        addTool(&nameSettings, ToolKind::ComboBox, ID_MatchPercentage, "Match &Percentage");
    matchPercentage.m_entries = matchPercentageEntries();
    matchPercentage.m_listIndex = kMatchPercentageStartIndex;

    Tool& crcFilesFirst =
        addTool(&crcSettings, ToolKind::ComboBox, ID_CRCFilesFirst, "CRC Files First");
    crcFilesFirst.m_entries = crcFilesFirstEntries();
    crcFilesFirst.m_listIndex = kCRCFilesFirstStartIndex;

    Tool& help = addTool(nullptr, ToolKind::Menu, ID_Help, "&Help");
    addTool(&help, ToolKind::Button, ID_Contents, "&Contents");
    addTool(&help, ToolKind::Button, ID_About, "&About");

    addToToolbar(ID_AddFiles, "Add Files");
    addToToolbar(ID_AddFolder, "Add Folder");
    addToToolbar(ID_AddFolderRecursive, "Add Folder Recursive");
    addToolbarSeparator();
    addToToolbar(ID_SetFileFilter, "Set File Filter");
    addToolbarSeparator();
    addToToolbar(ID_RemoveSelection, "Remove Selection");
    addToToolbar(ID_ClearAll, "Clear All Files");
    addToolbarSeparator();
    addToToolbar(ID_Dedupe, "Dedupe");
}

ToolModel::~ToolModel() = default;

Tool& ToolModel::addTool(Tool* parent, ToolKind kind, std::string_view id, std::string_view caption)
{
    // Tool's constructor is private to the model, so make_unique cannot reach it.
    m_tools.push_back(std::unique_ptr<Tool>(new Tool(*this, kind, id, caption)));
    Tool& tool = *m_tools.back();
    tool.m_parent = parent;
    if (parent != nullptr) {
        parent->m_children.push_back(&tool);
    } else {
        m_menuBar.push_back(&tool);
    }
    return tool;
}

void ToolModel::addSeparator(Tool& parent)
{
    addTool(&parent, ToolKind::Separator, {}, {});
}

void ToolModel::addToolbarSeparator()
{
    m_tools.push_back(std::unique_ptr<Tool>(new Tool(*this, ToolKind::Separator, {}, {})));
    m_toolbar.push_back(m_tools.back().get());
}

void ToolModel::addToToolbar(std::string_view id, std::string_view hint)
{
    Tool& tool = Tools(id);
    tool.m_hint = hint;
    m_toolbar.push_back(&tool);
}

const Tool* ToolModel::findTool(std::string_view id) const
{
    if (id.empty()) {
        return nullptr; // separators have no ID
    }
    const auto found = std::find_if(m_tools.begin(), m_tools.end(),
                                    [id](const auto& tool) { return tool->m_id == id; });
    return found == m_tools.end() ? nullptr : found->get();
}

const Tool& ToolModel::Tools(std::string_view id) const
{
    const Tool* tool = findTool(id);
    if (tool == nullptr) {
        throw std::out_of_range("no tool with ID '" + std::string(id) + "'");
    }
    return *tool;
}

Tool& ToolModel::Tools(std::string_view id)
{
    // The model owns every tool, so handing out a mutable one from a mutable model is sound.
    return const_cast<Tool&>(std::as_const(*this).Tools(id));
}

bool ToolModel::isUsable(const Tool& tool) const
{
    for (const Tool* t = &tool; t != nullptr; t = t->m_parent) {
        if (!t->m_enabled) {
            return false;
        }
    }
    return true;
}

void ToolModel::ToolClick(std::string_view id)
{
    Tool& tool = Tools(id);
    if (!isUsable(tool)) {
        return;
    }
    if (tool.m_kind == ToolKind::StateButton) {
        tool.ToolState(1 - tool.m_state);
    }
    if (m_events != nullptr) {
        m_events->ToolClick(tool);
    }
}

void ToolModel::ComboChange(std::string_view id, int newIndex)
{
    Tool& tool = Tools(id);
    tool.checkCombo();
    if (!isUsable(tool)) {
        return;
    }
    tool.ComboListIndex(newIndex);
    if (m_events != nullptr) {
        m_events->ComboChange(tool);
    }
}

DedupeSettings ToolModel::dedupeSettings() const
{
    const auto ticked = [this](std::string_view id) { return Tools(id).ToolState() == 1; };
    DedupeSettings settings;
    settings.blnUseName = ticked(ID_UseName);
    settings.blnUseExtension = ticked(ID_UseExtension);
    settings.blnUseSize = ticked(ID_UseSize);
    settings.blnUseCRC = ticked(ID_UseCRC);
    settings.blnRemoveBracketedText = ticked(ID_RemoveBracketedText);
    settings.blnRemoveNumbers = ticked(ID_RemoveNumbers);
    settings.blnRemoveSymbols = ticked(ID_RemoveSymbols);
    settings.blnRemoveSpaces = ticked(ID_RemoveSpaces);
    settings.lngMatchScore = selectedValue(Tools(ID_MatchPercentage));
    settings.lngCRCFilesFirstKB = selectedValue(Tools(ID_CRCFilesFirst));
    // Checksums are computed only while their settings submenu is open to the user.
    settings.lngCRCSize =
        Tools(ID_CRCSettings).ToolEnabled() ? 1024 * settings.lngCRCFilesFirstKB : 0;
    return settings;
}

void ToolModel::stateChanged(const Tool& tool)
{
    if (m_observer != nullptr) {
        m_observer->toolStateChanged(tool);
    }
}

void ToolModel::enabledChanged(const Tool& tool)
{
    if (m_observer != nullptr) {
        m_observer->toolEnabledChanged(tool);
    }
}

void ToolModel::hintChanged(const Tool& tool)
{
    if (m_observer != nullptr) {
        m_observer->hintChanged(tool);
    }
}

void ToolModel::comboIndexChanged(const Tool& tool)
{
    if (m_observer != nullptr) {
        m_observer->comboIndexChanged(tool);
    }
}

} // namespace corvelle
