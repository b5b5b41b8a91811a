#pragma once

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QLabel>
#include <QStyle>

// Whether texts show whole where the windows put them, measured with the font
// the widget actually uses.
namespace TextFit {

// Room left in a list cell of this width after the text and a margin on
// either side of it; negative when the text is cut.
inline int cellRoom(const QFont &font, int margin, int columnWidth, const QString &text)
{
    return columnWidth - 2 * margin - QFontMetrics(font).horizontalAdvance(text);
}

// The same for an item view, with the margins its style draws.
inline int cellRoom(const QAbstractItemView &view, int columnWidth, const QString &text)
{
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    return cellRoom(view.font(), margin, columnWidth, text);
}

// Room left beside a label's text on one line.
inline int labelRoom(const QLabel &label)
{
    return label.contentsRect().width() - QFontMetrics(label.font()).horizontalAdvance(label.text());
}

} // namespace TextFit
