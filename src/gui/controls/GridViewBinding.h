// Keeps a table view and the grid under its model in step: the grid holds the selection, which
// the view's gestures change and its rows paint (GridSelectionModel); the view's current row
// becomes the grid's (the commands read them there), hidden columns follow the grid, and changes
// the engine makes to the grid's current row show in the view.
#pragma once

#include <QObject>

class QTableView;

namespace corvelle {

class GridSelectionModel;
class GridTableModel;

class GridViewBinding final : public QObject {
    Q_OBJECT
public:
    /// Sets the model on the view (rows selected whole, several at once) and binds the two.
    GridViewBinding(QTableView& view, GridTableModel& model);

private:
    void viewCurrentChanged();
    void gridSelectionChanged();
    /// Qt's selection ranges follow the grid's over the rows on screen (GridSelectionModel).
    void mirrorRowsOnScreen();
    void gridCurrentRowChanged();
    void applyHiddenColumns();

    QTableView& m_view;
    GridTableModel& m_model;
    GridSelectionModel* m_selection = nullptr;
    bool m_syncing = false; ///< a change is being copied across: do not copy it back
};

} // namespace corvelle
