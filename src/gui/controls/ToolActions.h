// Builds a window's menu bar and toolbar from its ToolModel and keeps the two in step: the
// user's clicks and picks go to the model, the model's changes show in the widgets.
#pragma once

#include "controls/ToolModel.h"

#include <QObject>
#include <map>
#include <string>

class QAction;
class QComboBox;
class QMenu;
class QMenuBar;
class QToolBar;

namespace corvelle {

class ToolActions final : public QObject, private ToolObserver {
    Q_OBJECT
public:
    ToolActions(ToolModel& tools, QMenuBar& menuBar, QToolBar& toolBar, QObject* parent);
    ~ToolActions() override;
    ToolActions(const ToolActions&) = delete;
    ToolActions& operator=(const ToolActions&) = delete;

    /// The action of a button or state button; null for other tools.
    [[nodiscard]] QAction* action(std::string_view id) const;
    /// The combo box of a combo-box tool; null for other tools.
    [[nodiscard]] QComboBox* combo(std::string_view id) const;
    /// The menu of a menu heading or submenu; null for other tools.
    [[nodiscard]] QMenu* menu(std::string_view id) const;

private:
    void addItems(QMenu& menu, const Tool& parent);
    QAction* actionFor(const Tool& tool);
    QMenu* submenuFor(const Tool& tool, QWidget* parent);
    void addCombo(QMenu& menu, const Tool& tool);
    void clicked(const Tool& tool);
    void picked(const Tool& tool, int index);
    void syncTool(const Tool& tool);

    void toolStateChanged(const Tool& tool) override { syncTool(tool); }
    void toolEnabledChanged(const Tool& tool) override { syncTool(tool); }
    void comboIndexChanged(const Tool& tool) override { syncTool(tool); }
    void hintChanged(const Tool& tool) override { syncTool(tool); }

    ToolModel& m_tools;
    std::map<std::string, QAction*, std::less<>> m_actions;
    std::map<std::string, QComboBox*, std::less<>> m_combos;
    std::map<std::string, QMenu*, std::less<>> m_menus;
};

} // namespace corvelle
