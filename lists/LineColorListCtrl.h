#pragma once

#include <map>
#include <optional>

#include <QColor>
#include <QTableWidget>

// Text and background colour of one row.
struct TEXT_BK {
    QColor textColor;
    QColor backColor;
};

// A report list that holds its own (few) rows, where single rows can be given their own
// colours. Colours belong to row positions, not to items: after rows are inserted, removed
// or reordered, a colour stays with its position.
class CLineColorListCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CLineColorListCtrl(QWidget *parent = nullptr);

    // Inserts or replaces the colours of a row.
    void SetRowColor(unsigned row, const QColor &textColor, const QColor &backColor);
    void ClearRowColors();
    // The colours a row is painted with, none for the list's own colours.
    std::optional<TEXT_BK> rowColor(int row) const;
    const std::map<unsigned, TEXT_BK> &rowColors() const { return colors; }

    // Report-list operations in the terms of the windows that use it.
    void InsertColumn(int column, const QString &title, int width);
    void InsertItem(int row, const QString &text);
    void SetItemText(int row, int column, const QString &text);
    QString GetItemText(int row, int column) const;
    void DeleteAllItems();
    int GetItemCount() const { return rowCount(); }
    // The row last clicked or chosen with the keyboard, -1 for none.
    int GetSelectionMark() const;
    // The first selected row from the top, -1 for none.
    int GetFirstSelected() const;
    // Row under a point of the viewport, -1 for none.
    int HitTest(const QPoint &viewportPos) const;

signals:
    // Left click, double click and right click on the viewport; row is -1 below the last row.
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void rowRightClicked(int row, const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    std::map<unsigned, TEXT_BK> colors;
};
