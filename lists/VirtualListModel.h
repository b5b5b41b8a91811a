#pragma once

#include <functional>
#include <optional>

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>

class ICtrlData;

// Colours of one cell; none means the list's default colours.
struct CellColors {
    QColor text;
    QColor back;
};

// Table model over an ICtrlData adapter: holds no rows, only the row count read at the
// last reset, and asks the adapter for the text of a cell when a view wants it.
class VirtualListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using ColorsFunction = std::function<std::optional<CellColors>(int row, int column)>;

    explicit VirtualListModel(QObject *parent = nullptr);

    void setColumns(const QStringList &names);
    // Binds the adapter and the row count that views may ask for (until the next reset).
    void reset(const ICtrlData *data, int rowCount);
    // The adapter reordered its rows in place.
    void rowsReordered();
    void setColorsFunction(ColorsFunction colors) { colorsOf = std::move(colors); }

    const ICtrlData *adapter() const { return rowsData; }
    // Text of a cell, empty outside the adapter's rows.
    const QString &cellText(int row, int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    const ICtrlData *rowsData = nullptr;
    int rows = 0;
    QStringList names;
    ColorsFunction colorsOf;
};
