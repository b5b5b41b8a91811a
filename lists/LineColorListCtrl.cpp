#include "lists/LineColorListCtrl.h"

#include "platform/DialogUnits.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {

// Paints rows that have an entry in the map with its colours; selected rows keep the
// selection colours.
class RowColorDelegate final : public QStyledItemDelegate {
public:
    explicit RowColorDelegate(const CLineColorListCtrl &list)
        : QStyledItemDelegate(const_cast<CLineColorListCtrl *>(&list)), list(list)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_Selected)
            return;
        if (const std::optional<TEXT_BK> colors = list.rowColor(index.row())) {
            option->backgroundBrush = colors->backColor;
            option->palette.setColor(QPalette::Text, colors->textColor);
        }
    }

private:
    const CLineColorListCtrl &list;
};

} // namespace

CLineColorListCtrl::CLineColorListCtrl(QWidget *parent) : QTableWidget(parent)
{
    setItemDelegate(new RowColorDelegate(*this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
}

void CLineColorListCtrl::SetRowColor(unsigned row, const QColor &textColor, const QColor &backColor)
{
    colors[row] = TEXT_BK{textColor, backColor};
    viewport()->update();
}

void CLineColorListCtrl::ClearRowColors()
{
    colors.clear();
    viewport()->update();
}

std::optional<TEXT_BK> CLineColorListCtrl::rowColor(int row) const
{
    if (row < 0)
        return std::nullopt;
    const auto it = colors.find(unsigned(row));
    if (it == colors.end())
        return std::nullopt;
    return it->second;
}

void CLineColorListCtrl::InsertColumn(int column, const QString &title, int width)
{
    insertColumn(column);
    setHorizontalHeaderItem(column, new QTableWidgetItem(title));
    setColumnWidth(column, platform::scaledToFont(width, font()));
}

void CLineColorListCtrl::InsertItem(int row, const QString &text)
{
    row = std::clamp(row, 0, rowCount());
    insertRow(row);
    SetItemText(row, 0, text);
}

void CLineColorListCtrl::SetItemText(int row, int column, const QString &text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    if (QTableWidgetItem *cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

QString CLineColorListCtrl::GetItemText(int row, int column) const
{
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->text() : QString();
}

void CLineColorListCtrl::DeleteAllItems()
{
    setRowCount(0);
}

int CLineColorListCtrl::GetSelectionMark() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

int CLineColorListCtrl::GetFirstSelected() const
{
    int first = -1;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

int CLineColorListCtrl::HitTest(const QPoint &viewportPos) const
{
    return rowAt(viewportPos.y());
}

void CLineColorListCtrl::mousePressEvent(QMouseEvent *event)
{
    const int row = HitTest(event->position().toPoint());
    QTableWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit rowClicked(row);
    else if (event->button() == Qt::RightButton)
        emit rowRightClicked(row, event->globalPosition().toPoint());
}

void CLineColorListCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit rowDoubleClicked(HitTest(event->position().toPoint()));
}
