// GridSelectionModel: the selection of a table view over a grid, kept by the grid alone. Qt's
// own selection model keeps ranges of rows and searches all of them for every cell it paints,
// and compares old and new ranges pairwise on every change: with every other row of 250,000
// selected (Select Duplicates does that) a repaint took a few hundred milliseconds and a change
// of rule minutes. Here a click, a Shift or Ctrl click, a drag or a key changes the grid's
// sorted rows as Qt's model would have changed its ranges, and the delegate paints each row as
// the grid has it. Qt's ranges hold a copy of the grid's selection over the rows on screen
// only, where the view reads them to decide what a click does and accessibility tools read
// what is selected. One gap follows: Qt's clearSelection() does nothing while none of the rows on
// screen is selected, so the window clears the list's selection through the grid, never
// through the view.
#pragma once

#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <vector>

namespace corvelle {

class GridModel;
class GridTableModel;

class GridSelectionModel final : public QItemSelectionModel {
    Q_OBJECT
public:
    explicit GridSelectionModel(GridTableModel& model, QObject* parent = nullptr);

    using QItemSelectionModel::select;
    /// Selects, deselects or toggles the rows the ranges cover, in the grid, as the command
    /// says; a command with Current replaces the previous step of the same gesture.
    void select(const QItemSelection& selection, SelectionFlags command) override;

    /// The grid's selection has changed: unless the change came from this view, the next
    /// gesture starts from it.
    void gridSelectionChanged();
    /// Qt's ranges become the grid's selection within these view rows, and nothing beyond.
    void mirrorRows(int firstViewRow, int lastViewRow);

private:
    /// The rows moved or went: the next gesture starts from the grid's selection as it is.
    void restartGesture();

    GridModel& m_grid;
    std::vector<int> m_base;    ///< the grid's selection before the gesture under way
    std::vector<int> m_gesture; ///< the rows of the gesture's latest step, ascending
    SelectionFlags m_gestureCommand = NoUpdate;
    bool m_applying = false;  ///< the grid is taking a change of this model's
    bool m_resetting = false; ///< the model is being reset: Qt clears its own ranges only
};

/// Paints a cell selected exactly when its row is selected in the grid.
class GridSelectionDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridSelectionDelegate(const GridModel& grid, QObject* parent);

    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const GridModel& m_grid;
};

} // namespace corvelle
