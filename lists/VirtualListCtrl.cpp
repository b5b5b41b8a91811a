#include "lists/VirtualListCtrl.h"

#include "platform/DialogUnits.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "records/CtrlData.h"
#include "platform/MenuBuilder.h"
#include "res/Resources.h"

const CellColors CVirtualListCtrl::SelectedColors{QColor(255, 255, 255), QColor(51, 153, 255)};
const CellColors CVirtualListCtrl::ShadedColors{QColor(0, 0, 0), QColor(224, 224, 224)};
const CellColors CVirtualListCtrl::PlainColors{QColor(0, 0, 0), QColor(255, 255, 255)};

namespace {

const QColor GridColor(220, 220, 220);

} // namespace

CVirtualListCtrl::CVirtualListCtrl(QWidget *parent) : QAbstractScrollArea(parent)
{
    model.setColorsFunction([this](int row, int column) { return cellColorsAt(row, column); });

    headerView = new QHeaderView(Qt::Horizontal, this);
    headerView->setModel(&model);
    headerView->setSectionsClickable(true);
    headerView->setSectionsMovable(false);
    headerView->setHighlightSections(false);
    headerView->setStretchLastSection(false);
    headerView->setSectionResizeMode(QHeaderView::Interactive);
    headerView->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    headerView->setFocusPolicy(Qt::NoFocus);
    connect(headerView, &QHeaderView::sectionClicked, this, &CVirtualListCtrl::OnColumnClick);
    connect(headerView, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });

    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    rowPixels = fontMetrics().height() + 4;
    updateGeometries();
}

CVirtualListCtrl::~CVirtualListCtrl() = default;

void CVirtualListCtrl::setMenuId(int id)
{
    st.menuId = id;
}

void CVirtualListCtrl::SetColumns(const QStringList &names, const std::vector<int> &widths)
{
    model.setColumns(names);
    st.columnCount = int(names.size());
    const int share = names.isEmpty() ? 0 : (contentsRect().width() - 15) / int(names.size());
    for (int i = 0; i < names.size(); ++i)
        headerView->resizeSection(i, size_t(i) < widths.size()
                                         ? platform::scaledToFont(widths[size_t(i)], font())
                                         : std::max(share, 0));
    updateGeometries();
    viewport()->update();
}

void CVirtualListCtrl::SetData(ICtrlData *adapter)
{
    data = adapter;
    st.rowCount = adapter ? adapter->GetCount() : 0;
    st.sortDescending = true;
    st.sortColumn = -1;
    clearCells();
    // A new vector, so that a list that shrinks gives its shading bytes back.
    st.groupShade = std::vector<unsigned char>(size_t(st.rowCount), 0);
    model.reset(adapter, st.rowCount);
    updateGeometries();
    viewport()->update();
}

Cell CVirtualListCtrl::HitTest(const QPoint &pos) const
{
    if (pos.y() < 0 || pos.x() < 0 || pos.x() >= viewport()->width() || pos.y() >= viewport()->height())
        return Cell{};
    const int row = firstVisibleRow() + pos.y() / rowPixels;
    if (row >= st.rowCount)
        return Cell{};
    const int column = headerView->logicalIndexAt(pos.x());
    if (column < 0 || column >= st.columnCount)
        return Cell{};
    return Cell{row, column};
}

void CVirtualListCtrl::pressCell(Cell cell, bool control)
{
    if (cell.isNone())
        return;
    st.anchorCell = cell;
    st.lastDragCell = Cell{};
    if (st.selectAll) {
        st.selectAll = false;
        st.dragging = true;
        appendCell(cell);
    } else if (control) {
        if (isCellSelected(cell))
            removeFirst(cell);
        else
            appendCell(cell);
        st.dragging = true;
    } else {
        st.dragging = true;
        clearCells();
        appendCell(cell);
    }
    viewport()->update();
    setFocus(Qt::MouseFocusReason);
}

void CVirtualListCtrl::dragStep(Cell cell)
{
    if (!st.dragging || cell.isNone())
        return;
    // Still on the pressed cell: the press has decided about it, also when Ctrl+click has
    // just taken it out of the selection.
    if (st.lastDragCell.isNone() && cell == st.anchorCell)
        return;
    if (!st.lastDragCell.isNone())
        forEachInRect(st.lastDragCell, st.anchorCell, [this](Cell c) { removeFirst(c); });
    forEachInRect(cell, st.anchorCell, [this](Cell c) { appendCell(c); });
    st.lastDragCell = cell;
    viewport()->update();
}

void CVirtualListCtrl::release(Cell cell)
{
    dragStep(cell);
    st.dragging = false;
}

void CVirtualListCtrl::SelectAllCells()
{
    st.selectAll = true;
    clearCells();
    viewport()->update();
}

QString CVirtualListCtrl::selectionText() const
{
    QString text;
    if (st.selectAll) {
        for (int row = 0; row < st.rowCount; ++row) {
            for (int column = 0; column < st.columnCount; ++column) {
                text += model.cellText(row, column);
                text += QLatin1Char('\t');
            }
            text += QLatin1String("\r\n");
        }
        return text;
    }
    // Sorted copy without repeated cells: the selection itself keeps its order, so the
    // commands still act on the cell selected last.
    std::vector<Cell> cells;
    cells.reserve(selectedCount.size());
    for (const auto &[cell, count] : selectedCount)
        cells.push_back(cell);
    int previousRow = -1;
    for (const Cell &cell : cells) {
        if (previousRow >= 0)
            text += cell.row != previousRow ? QLatin1String("\r\n") : QLatin1String("\t");
        text += model.cellText(cell.row, cell.column);
        previousRow = cell.row;
    }
    return text;
}

void CVirtualListCtrl::CopyCells()
{
    if (!st.selectAll && st.selectedCells.empty())
        return;
    platform::setClipboardText(services(), selectionText());
}

void CVirtualListCtrl::OnColumnClick(int column)
{
    if (column == st.sortColumn) {
        st.sortDescending = !st.sortDescending;
    } else {
        st.sortColumn = column;
        st.sortDescending = true;
    }
    if (!data || data->GetCount() <= 1)
        return;
    data->Sort(st.sortColumn, st.sortDescending);
    computeGroupShade();
    model.rowsReordered();
    viewport()->update();
}

void CVirtualListCtrl::computeGroupShade()
{
    const int rows = std::min(st.rowCount, data ? data->GetCount() : 0);
    if (st.groupShade.empty())
        return;
    st.groupShade[0] = 0;
    for (int i = 1; i < rows; ++i) {
        const bool same =
            compareOrdinal(data->GetText(i, st.sortColumn), data->GetText(i - 1, st.sortColumn)) == 0;
        st.groupShade[size_t(i)] = same ? st.groupShade[size_t(i - 1)] : !st.groupShade[size_t(i - 1)];
    }
}

void CVirtualListCtrl::OnCommand(int command)
{
    switch (command) {
    case res::CmdSelectAll:
        SelectAllCells();
        break;
    case res::CmdCopy:
        CopyCells();
        break;
    case res::CmdOpen:
        runHandler(&IListCommandHandler::openHandler);
        break;
    case res::CmdSearchAds:
        runHandler(&IListCommandHandler::searchAdsHandler);
        break;
    case res::CmdSearchJump:
        runHandler(&IListCommandHandler::searchJumpHandler);
        break;
    case res::CmdSearchHistory:
        runHandler(&IListCommandHandler::searchHistoryHandler);
        break;
    default:
        break;
    }
}

void CVirtualListCtrl::runHandler(void (IListCommandHandler::*handler)(CVirtualListCtrl &, Cell))
{
    const Cell cell = lastSelectedCell();
    if (commandHandler && !cell.isNone())
        (commandHandler->*handler)(*this, cell);
}

Cell CVirtualListCtrl::lastSelectedCell() const
{
    return st.selectedCells.empty() ? Cell{} : st.selectedCells.back();
}

bool CVirtualListCtrl::isCellSelected(Cell cell) const
{
    return selectedCount.count(cell) != 0;
}

std::optional<CellColors> CVirtualListCtrl::cellColorsAt(int row, int column) const
{
    if (st.selectAll)
        return SelectedColors;
    if (row < 0 || !data || row >= data->GetCount() || size_t(row) >= st.groupShade.size())
        return std::nullopt;
    if (isCellSelected(Cell{row, column}))
        return SelectedColors;
    return st.groupShade[size_t(row)] ? ShadedColors : PlainColors;
}

void CVirtualListCtrl::showContextMenu(const QPoint &globalPos)
{
    if (!menu || loadedMenuId != st.menuId) {
        const platform::MenuTemplate *tpl = res::findMenu(st.menuId);
        menu = tpl ? platform::buildContextMenu(*tpl) : nullptr;
        loadedMenuId = st.menuId;
    }
    if (!menu)
        return;
    const int command = services().menus->track(*menu, globalPos, platform::MenuAlign::TopLeft);
    if (command != 0)
        OnCommand(command);
}

QPoint CVirtualListCtrl::keyboardMenuPosition() const
{
    // Row 0 in the control's coordinates; while it is scrolled out of sight, the top row.
    const QRect area = viewport()->geometry();
    const QPoint row0(area.left() - horizontalScrollBar()->value(), area.top());
    const QPoint window = mapToGlobal(QPoint(0, 0));
    return QPoint(window.x() + width() / 2 + row0.x(), window.y() + row0.y());
}

int CVirtualListCtrl::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

QRect CVirtualListCtrl::cellRect(Cell cell) const
{
    if (cell.isNone())
        return QRect();
    return QRect(headerView->sectionViewportPosition(cell.column), (cell.row - firstVisibleRow()) * rowPixels,
                 headerView->sectionSize(cell.column), rowPixels);
}

void CVirtualListCtrl::appendCell(Cell cell)
{
    st.selectedCells.push_back(cell);
    ++selectedCount[cell];
}

void CVirtualListCtrl::removeFirst(Cell cell)
{
    const auto it = std::find(st.selectedCells.begin(), st.selectedCells.end(), cell);
    if (it == st.selectedCells.end())
        return;
    st.selectedCells.erase(it);
    const auto counted = selectedCount.find(cell);
    if (--counted->second == 0)
        selectedCount.erase(counted);
}

void CVirtualListCtrl::clearCells()
{
    st.selectedCells.clear();
    selectedCount.clear();
}

void CVirtualListCtrl::forEachInRect(Cell a, Cell b, const std::function<void(Cell)> &visit) const
{
    for (int row = std::min(a.row, b.row); row <= std::max(a.row, b.row); ++row)
        for (int column = std::min(a.column, b.column); column <= std::max(a.column, b.column); ++column)
            visit(Cell{row, column});
}

void CVirtualListCtrl::updateGeometries()
{
    const int headerHeight = headerView->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    headerView->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);

    const int visibleRows = std::max(1, area.height() / rowPixels);
    verticalScrollBar()->setRange(0, std::max(0, st.rowCount - visibleRows));
    verticalScrollBar()->setPageStep(visibleRows);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, headerView->length() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setSingleStep(20);
    headerView->setOffset(horizontalScrollBar()->value());
}

void CVirtualListCtrl::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int first = firstVisibleRow() + std::max(0, dirty.top()) / rowPixels;
    const int last = std::min(st.rowCount - 1, firstVisibleRow() + dirty.bottom() / rowPixels);
    const QPalette pal = palette();
    for (int row = first; row <= last; ++row) {
        for (int visual = 0; visual < headerView->count(); ++visual) {
            const int column = headerView->logicalIndex(visual);
            const QRect rect = cellRect(Cell{row, column});
            if (!rect.intersects(dirty))
                continue;
            const QModelIndex index = model.index(row, column);
            const QVariant back = model.data(index, Qt::BackgroundRole);
            const QVariant fore = model.data(index, Qt::ForegroundRole);
            painter.fillRect(rect, back.isValid() ? back.value<QColor>() : pal.color(QPalette::Base));
            painter.setPen(fore.isValid() ? fore.value<QColor>() : pal.color(QPalette::Text));
            const QRect textRect = rect.adjusted(kTextPadding, 0, -kTextPadding, 0);
            const QString text = model.data(index, Qt::DisplayRole).toString();
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                             fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
            painter.setPen(GridColor);
            painter.drawLine(rect.topRight(), rect.bottomRight());
            painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        }
    }
}

void CVirtualListCtrl::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
}

void CVirtualListCtrl::scrollContentsBy(int, int)
{
    headerView->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void CVirtualListCtrl::mousePressEvent(QMouseEvent *event)
{
    const Cell cell = HitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        pressCell(cell, event->modifiers() & Qt::ControlModifier);
    } else if (event->button() == Qt::RightButton) {
        if (!cell.isNone())
            showContextMenu(event->globalPosition().toPoint());
    }
    // The press is ours alone: no Qt selection, focus frame or rubber band.
    event->accept();
}

void CVirtualListCtrl::mouseMoveEvent(QMouseEvent *event)
{
    if (st.dragging)
        dragStep(HitTest(event->position().toPoint()));
    event->accept();
}

void CVirtualListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    // The release ends the drag wherever it happens, also outside the list.
    if (event->button() == Qt::LeftButton && st.dragging)
        release(HitTest(event->position().toPoint()));
    event->accept();
}

void CVirtualListCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        runHandler(&IListCommandHandler::openHandler);
    event->accept();
}

void CVirtualListCtrl::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy) ||
        (event->key() == Qt::Key_C && event->modifiers() == Qt::ControlModifier)) {
        CopyCells();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll) ||
        (event->key() == Qt::Key_A && event->modifiers() == Qt::ControlModifier)) {
        SelectAllCells();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Menu) {
        showContextMenu(keyboardMenuPosition());
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CVirtualListCtrl::contextMenuEvent(QContextMenuEvent *event)
{
    // The right button press has shown the menu already.
    if (event->reason() == QContextMenuEvent::Keyboard)
        showContextMenu(keyboardMenuPosition());
    event->accept();
}

void CVirtualListCtrl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        rowPixels = fontMetrics().height() + 4;
        updateGeometries();
    }
    QAbstractScrollArea::changeEvent(event);
}
