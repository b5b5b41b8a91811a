#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QAbstractScrollArea>
#include <QStringList>

#include "lists/VirtualListModel.h"
#include "platform/Services.h"

class ICtrlData;
class QHeaderView;
class QMenu;
class CVirtualListCtrl;

// A cell of the list, both counted from 0; (-1, -1) is none.
struct Cell {
    int row = -1;
    int column = -1;

    bool isNone() const { return row < 0 || column < 0; }
    friend bool operator==(const Cell &a, const Cell &b) { return a.row == b.row && a.column == b.column; }
    friend bool operator!=(const Cell &a, const Cell &b) { return !(a == b); }
    // Row by row, then column by column.
    friend bool operator<(const Cell &a, const Cell &b)
    {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    }
};

// The window that holds a list supplies its actions here; the list passes the last selected
// cell. An action the window does not override does nothing.
class IListCommandHandler {
public:
    virtual void openHandler(CVirtualListCtrl & /*list*/, Cell /*cell*/) {}
    virtual void searchAdsHandler(CVirtualListCtrl & /*list*/, Cell /*cell*/) {}
    virtual void searchJumpHandler(CVirtualListCtrl & /*list*/, Cell /*cell*/) {}
    virtual void searchHistoryHandler(CVirtualListCtrl & /*list*/, Cell /*cell*/) {}

protected:
    ~IListCommandHandler() = default;
};

// The report list of every result list: rows come from an ICtrlData adapter when they are
// painted (fixed row height, only visible cells are asked for), single cells are selected
// like in a spreadsheet, the selection copies as tab-separated text, a header click sorts
// the adapter's rows and shades runs of equal values, and a context menu hands its search
// commands to the window that holds the list.
class CVirtualListCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Pixels between a cell's text and either side of its column.
    static constexpr int kTextPadding = 4;

    struct State {
        int columnCount = 0;
        int rowCount = 0;
        bool sortDescending = true;
        int sortColumn = -1;
        bool selectAll = false;
        bool dragging = false;
        Cell anchorCell;
        Cell lastDragCell;
        int menuId = 138;
        std::vector<Cell> selectedCells;       // in the order added; a cell may occur twice
        std::vector<unsigned char> groupShade; // per row: 0 white, 1 grey
    };

    static const CellColors SelectedColors;
    static const CellColors ShadedColors;
    static const CellColors PlainColors;

    explicit CVirtualListCtrl(QWidget *parent = nullptr);
    ~CVirtualListCtrl() override;

    // Context menu resource: 138 (default) or 140.
    void setMenuId(int id);
    void setCommandHandler(IListCommandHandler *handler) { commandHandler = handler; }
    void setServices(const platform::Services &replacement) { ownServices = replacement; }
    platform::Services services() const { return ownServices.mergedWith(platform::currentServices()); }

    // Titles and pixel widths; a missing width is (client width - 15) / number of titles.
    void SetColumns(const QStringList &names, const std::vector<int> &widths = {});
    // Binds the adapter (not owned; a header click sorts its rows) and re-reads its row
    // count; forgets selection, sort and shading.
    void SetData(ICtrlData *data);

    const State &state() const { return st; }
    QAbstractItemModel *itemModel() { return &model; }
    QHeaderView *header() const { return headerView; }
    int rowHeight() const { return rowPixels; }

    // Decisions, callable without mouse or keyboard.
    Cell HitTest(const QPoint &viewportPos) const;
    void pressCell(Cell cell, bool control); // left button down on a cell
    void dragStep(Cell cell);                // pointer over a cell while dragging
    void release(Cell cell);                 // left button up
    void SelectAllCells();
    void CopyCells();
    QString selectionText() const; // what CopyCells puts on the clipboard; empty for no selection
    void OnColumnClick(int column);
    void OnCommand(int command);
    Cell lastSelectedCell() const;
    bool isCellSelected(Cell cell) const;
    // Colours of a cell; none leaves the list's own colours.
    std::optional<CellColors> cellColorsAt(int row, int column) const;
    // Shows the context menu at a screen position (mouse) or at the keyboard position.
    void showContextMenu(const QPoint &globalPos);
    QPoint keyboardMenuPosition() const;
    // First row shown at the top.
    int firstVisibleRow() const;
    QRect cellRect(Cell cell) const; // viewport coordinates

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateGeometries();
    void appendCell(Cell cell);
    void removeFirst(Cell cell);
    void clearCells();
    void forEachInRect(Cell a, Cell b, const std::function<void(Cell)> &visit) const;
    void computeGroupShade();
    void runHandler(void (IListCommandHandler::*handler)(CVirtualListCtrl &, Cell));

    State st;
    VirtualListModel model;
    QHeaderView *headerView = nullptr;
    ICtrlData *data = nullptr;
    std::map<Cell, int> selectedCount; // how often each cell occurs in selectedCells
    IListCommandHandler *commandHandler = nullptr;
    platform::Services ownServices;
    std::unique_ptr<QMenu> menu;
    int loadedMenuId = 0;
    int rowPixels = 18;
};
