// GridTableModel: the Qt table model over a GridModel, so that a QTableView shows either list.
// View row r is the grid's data row r + 1; the grid's header row gives the column titles.
#pragma once

#include "controls/GridModel.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>
#include <optional>

namespace corvelle {

/// What a window adds to one column of a row: an icon, and a line for the cell's tooltip.
struct RowNote {
    QIcon icon;
    QString text;
};

class GridTableModel final : public QAbstractTableModel, private GridObserver {
    Q_OBJECT
public:
    /// The note of a data row of the grid, if it has one.
    using RowNotes = std::function<std::optional<RowNote>(int gridRow)>;

    explicit GridTableModel(GridModel& grid, QObject* parent = nullptr);
    ~GridTableModel() override;
    GridTableModel(const GridTableModel&) = delete;
    GridTableModel& operator=(const GridTableModel&) = delete;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    [[nodiscard]] GridModel& grid() { return m_grid; }
    [[nodiscard]] const GridModel& grid() const { return m_grid; }

    static constexpr int gridRow(int viewRow) { return viewRow + 1; }
    static constexpr int viewRow(int gridRow) { return gridRow - 1; }

    /// The catalogue record a view row stands for (0 for none).
    [[nodiscard]] RecordId recordIdAt(const QModelIndex& index) const;
    /// The first view index (column 0) of the record; invalid when it is not listed.
    [[nodiscard]] QModelIndex findRow(RecordId id) const;

    /// Rows the grid gained in bulk-addition mode become visible to the views. Called by the
    /// driver of a long intake from time to time, and when the grid leaves bulk mode.
    void publishPendingRows();

    /// Shows the notes in this column, from now on.
    void setRowNotes(int column, RowNotes notes);
    /// The notes have changed: the views ask again.
    void rowNotesChanged();

signals:
    void columnVisibilityChanged(int column, bool hidden);
    void gridCurrentRowChanged();
    void gridSelectionChanged();

private:
    [[nodiscard]] QVariant displayText(const QModelIndex& index) const;
    [[nodiscard]] QVariant background(const QModelIndex& index) const;
    [[nodiscard]] QVariant alignment(int column) const;
    [[nodiscard]] QVariant toolTip(const QModelIndex& index) const;
    [[nodiscard]] QVariant decoration(const QModelIndex& index) const;
    [[nodiscard]] std::optional<RowNote> noteAt(const QModelIndex& index) const;
    [[nodiscard]] bool inBulkMode() const { return m_grid.RedrawMode() == 2; }
    [[nodiscard]] int gridDataRows() const { return m_grid.RowCount() - 1; }

    void rowsAboutToBeInserted(int first, int last) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(int first, int last) override;
    void rowsRemoved() override;
    void aboutToReset() override;
    void reset() override;
    void cellsChanged(int row1, int col1, int row2, int col2) override;
    void columnHiddenChanged(int col) override;
    void redrawModeChanged() override;
    void currentRowChanged() override;
    void selectionChanged() override;

    GridModel& m_grid;
    int m_publishedRows = 0;  ///< data rows the views know of
    bool m_inserting = false; ///< a forwarded insertion is between begin and end
    int m_notesColumn = -1;
    RowNotes m_notes;
};

} // namespace corvelle
