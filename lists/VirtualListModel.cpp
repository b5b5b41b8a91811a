#include "lists/VirtualListModel.h"

#include "records/CtrlData.h"

VirtualListModel::VirtualListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void VirtualListModel::setColumns(const QStringList &newNames)
{
    beginResetModel();
    names = newNames;
    endResetModel();
}

void VirtualListModel::reset(const ICtrlData *adapter, int rowCount)
{
    beginResetModel();
    rowsData = adapter;
    rows = adapter ? std::max(rowCount, 0) : 0;
    endResetModel();
}

void VirtualListModel::rowsReordered()
{
    if (rows > 0 && !names.isEmpty())
        emit dataChanged(index(0, 0), index(rows - 1, int(names.size()) - 1));
}

const QString &VirtualListModel::cellText(int row, int column) const
{
    static const QString empty;
    // The adapter may have fewer rows than were counted at the last reset.
    if (!rowsData || row < 0 || column < 0 || row >= rowsData->GetCount() ||
        column >= rowsData->GetColumnCount())
        return empty;
    return rowsData->GetText(row, column);
}

int VirtualListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows;
}

int VirtualListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(names.size());
}

QVariant VirtualListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        if (!colorsOf)
            return QVariant();
        const std::optional<CellColors> colors = colorsOf(index.row(), index.column());
        if (!colors)
            return QVariant();
        return role == Qt::ForegroundRole ? colors->text : colors->back;
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

QVariant VirtualListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= names.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return names.at(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return QVariant();
}

Qt::ItemFlags VirtualListModel::flags(const QModelIndex &index) const
{
    // The list keeps its own cell selection; the items are not selectable through Qt.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
