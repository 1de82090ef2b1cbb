#include "controls/ToolActions.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolBar>
#include <QWidgetAction>

namespace corvelle {
namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The caption as read aloud or shown without its accelerator marker.
QString plainCaption(const Tool& tool)
{
    return toQString(tool.caption()).remove(QLatin1Char('&'));
}

/// A picture for each toolbar button, from the style's standard set.
QIcon toolbarIcon(std::string_view id, const QStyle& style)
{
    using namespace toolIds;
    const std::map<std::string_view, QStyle::StandardPixmap> icons{
        {ID_AddFiles, QStyle::SP_FileIcon},
        {ID_AddFolder, QStyle::SP_DirIcon},
        {ID_AddFolderRecursive, QStyle::SP_DirOpenIcon},
        {ID_SetFileFilter, QStyle::SP_FileDialogContentsView},
        {ID_RemoveSelection, QStyle::SP_DialogDiscardButton},
        {ID_ClearAll, QStyle::SP_DialogResetButton},
        {ID_Dedupe, QStyle::SP_FileDialogDetailedView},
    };
    const auto found = icons.find(id);
    return found == icons.end() ? QIcon() : style.standardIcon(found->second);
}

} // namespace

ToolActions::ToolActions(ToolModel& tools, QMenuBar& menuBar, QToolBar& toolBar, QObject* parent)
    : QObject(parent)
    , m_tools(tools)
{
    for (const Tool* heading : m_tools.menuBar()) {
        QMenu* menu = menuBar.addMenu(toQString(heading->caption()));
        menu->setAccessibleName(plainCaption(*heading));
        menu->setToolTipsVisible(true); // a disabled entry says why
        m_menus.emplace(heading->ToolId(), menu);
        addItems(*menu, *heading);
    }
    for (const Tool* tool : m_tools.toolbar()) {
        if (tool->kind() == ToolKind::Separator) {
            toolBar.addSeparator();
            continue;
        }
        QAction* action = actionFor(*tool);
        action->setIcon(toolbarIcon(tool->ToolId(), *toolBar.style()));
        toolBar.addAction(action);
    }
    for (const auto& [id, action] : m_actions) {
        syncTool(m_tools.Tools(id));
    }
    for (const auto& [id, menu] : m_menus) {
        syncTool(m_tools.Tools(id));
    }
    m_tools.setObserver(this);
}

ToolActions::~ToolActions()
{
    m_tools.setObserver(nullptr);
}

void ToolActions::addItems(QMenu& menu, const Tool& parent)
{
    for (const Tool* item : parent.children()) {
        switch (item->kind()) {
        case ToolKind::Separator:
            menu.addSeparator();
            break;
        case ToolKind::Submenu:
        case ToolKind::Menu:
            menu.addMenu(submenuFor(*item, &menu));
            break;
        case ToolKind::ComboBox:
            addCombo(menu, *item);
            break;
        case ToolKind::Button:
        case ToolKind::StateButton:
            menu.addAction(actionFor(*item));
            break;
        }
    }
}

QMenu* ToolActions::submenuFor(const Tool& tool, QWidget* parent)
{
    auto* submenu = new QMenu(toQString(tool.caption()), parent);
    submenu->setAccessibleName(plainCaption(tool));
    submenu->setToolTipsVisible(true);
    m_menus.emplace(tool.ToolId(), submenu);
    addItems(*submenu, tool);
    return submenu;
}

QAction* ToolActions::actionFor(const Tool& tool)
{
    if (const auto found = m_actions.find(tool.ToolId()); found != m_actions.end()) {
        return found->second;
    }
    auto* action = new QAction(toQString(tool.caption()), this);
    action->setCheckable(tool.kind() == ToolKind::StateButton);
    if (!tool.shortcut().empty()) {
        action->setShortcut(QKeySequence(toQString(tool.shortcut())));
    }
    const std::string id = tool.ToolId();
    connect(action, &QAction::triggered, this, [this, id] { clicked(m_tools.Tools(id)); });
    m_actions.emplace(id, action);
    return action;
}

void ToolActions::addCombo(QMenu& menu, const Tool& tool)
{
    auto* holder = new QWidget(&menu);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(8, 2, 8, 2);
    auto* label = new QLabel(toQString(tool.caption()), holder);
    auto* combo = new QComboBox(holder);
    label->setBuddy(combo);
    combo->setAccessibleName(plainCaption(tool));
    for (const ComboEntry& entry : tool.comboEntries()) {
        combo->addItem(toQString(entry.text));
    }
    layout->addWidget(label);
    layout->addWidget(combo, 1);
    auto* action = new QWidgetAction(&menu);
    action->setDefaultWidget(holder);
    menu.addAction(action);

    const std::string id = tool.ToolId();
    // activated, not currentIndexChanged: only the user's picks are events.
    connect(combo, &QComboBox::activated, this,
            [this, id](int index) { picked(m_tools.Tools(id), index); });
    m_combos.emplace(id, combo);
    syncTool(tool);
}

void ToolActions::clicked(const Tool& tool)
{
    m_tools.ToolClick(tool.ToolId());
    syncTool(tool); // a click the model refused leaves the widget as the model is
}

void ToolActions::picked(const Tool& tool, int index)
{
    m_tools.ComboChange(tool.ToolId(), index);
    syncTool(tool);
}

void ToolActions::syncTool(const Tool& tool)
{
    const std::string& id = tool.ToolId();
    if (const auto found = m_actions.find(id); found != m_actions.end()) {
        const QSignalBlocker quiet(found->second);
        found->second->setEnabled(tool.ToolEnabled());
        found->second->setChecked(tool.ToolState() == 1);
        found->second->setToolTip(tool.hint().empty() ? plainCaption(tool)
                                                      : toQString(tool.hint()));
    }
    if (const auto found = m_combos.find(id); found != m_combos.end()) {
        const QSignalBlocker quiet(found->second);
        found->second->setEnabled(tool.ToolEnabled());
        found->second->setCurrentIndex(tool.ComboListIndex());
    }
    if (const auto found = m_menus.find(id); found != m_menus.end()) {
        found->second->menuAction()->setEnabled(tool.ToolEnabled());
    }
}

QAction* ToolActions::action(std::string_view id) const
{
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

QComboBox* ToolActions::combo(std::string_view id) const
{
    const auto found = m_combos.find(id);
    return found == m_combos.end() ? nullptr : found->second;
}

QMenu* ToolActions::menu(std::string_view id) const
{
    const auto found = m_menus.find(id);
    return found == m_menus.end() ? nullptr : found->second;
}

} // namespace corvelle
