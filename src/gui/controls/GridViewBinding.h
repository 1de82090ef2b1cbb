// Keeps a table view and the grid under its model in step: the view's selection and current row
// become the grid's (the commands read them there), hidden columns follow the grid, and changes
// the engine makes to the grid's selection show in the view.
#pragma once

#include <QObject>

class QTableView;
class QItemSelection;

namespace corvelle {

class GridTableModel;

class GridViewBinding final : public QObject {
    Q_OBJECT
public:
    /// Sets the model on the view (rows selected whole, several at once) and binds the two.
    GridViewBinding(QTableView& view, GridTableModel& model);

private:
    void viewSelectionChanged();
    void viewCurrentChanged();
    void gridSelectionChanged();
    void gridCurrentRowChanged();
    void applyHiddenColumns();

    QTableView& m_view;
    GridTableModel& m_model;
    bool m_syncing = false; ///< a change is being copied across: do not copy it back
};

} // namespace corvelle
