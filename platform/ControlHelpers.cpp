#include "platform/ControlHelpers.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QWindow>

namespace platform {

namespace {

constexpr char SortedProperty[] = "sortedItems";

// First index whose text sorts after `text`, so equal items keep their order of insertion.
template <class TextAt> int sortedPosition(int count, const QString &text, TextAt textAt)
{
    int low = 0;
    int high = count;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (QString::compare(textAt(mid), text, Qt::CaseInsensitive) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

class DigitsOnlyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            const bool command =
                key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
            if (!command && !text.isEmpty() && text.front().isPrint()) {
                for (const QChar c : text)
                    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                        return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void setSorted(QComboBox &combo, bool sorted)
{
    combo.setProperty(SortedProperty, sorted);
}

void setSorted(QListWidget &list, bool sorted)
{
    list.setProperty(SortedProperty, sorted);
}

bool isSorted(const QComboBox &combo)
{
    return combo.property(SortedProperty).toBool();
}

bool isSorted(const QListWidget &list)
{
    return list.property(SortedProperty).toBool();
}

int AddString(QComboBox &combo, const QString &text)
{
    const int index = isSorted(combo)
                          ? sortedPosition(combo.count(), text, [&](int i) { return combo.itemText(i); })
                          : combo.count();
    // Adding an item never changes what an editable box shows: Qt would show
    // the first item added to an empty box.
    const QString shown = combo.currentText();
    combo.insertItem(index, text);
    if (combo.isEditable() && combo.currentText() != shown)
        combo.setEditText(shown);
    return index;
}

int AddString(QListWidget &list, const QString &text)
{
    const int index = isSorted(list)
                          ? sortedPosition(list.count(), text, [&](int i) { return list.item(i)->text(); })
                          : list.count();
    list.insertItem(index, text);
    return index;
}

int findStringPrefix(const QListWidget &list, const QString &text)
{
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->text().startsWith(text, Qt::CaseInsensitive))
            return i;
    return -1;
}

void acceptDigitsOnly(QLineEdit &edit)
{
    edit.installEventFilter(new DigitsOnlyFilter(&edit));
}

void setTopmost(QWidget &window, bool on)
{
    // A shown window changes its stacking through its native window: going through
    // the widget's flags would hide it and map it again.
    QWindow *native = window.windowHandle();
    if (native && window.isVisible()) {
        native->setFlag(Qt::WindowStaysOnTopHint, on);
        window.overrideWindowFlags(on ? window.windowFlags() | Qt::WindowStaysOnTopHint
                                      : window.windowFlags() & ~Qt::WindowStaysOnTopHint);
    } else {
        window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
    }
}

void bringToFront(QWidget &window)
{
    window.showNormal();
    setTopmost(window, true);
    setTopmost(window, false);
    window.raise();
    window.activateWindow();
}

} // namespace platform
