#pragma once

#include <QString>

class QComboBox;
class QLineEdit;
class QListWidget;
class QWidget;

namespace platform {

// Sorted combo and list boxes keep their items in case-insensitive order whatever the
// order of insertion, like the Windows sorted styles. The builder marks them.
void setSorted(QComboBox &combo, bool sorted);
void setSorted(QListWidget &list, bool sorted);
bool isSorted(const QComboBox &combo);
bool isSorted(const QListWidget &list);

// Adds an item (at its sorted place for a sorted box, otherwise at the end); returns its index.
int AddString(QComboBox &combo, const QString &text);
int AddString(QListWidget &list, const QString &text);

// Index of the first item that begins with text, ignoring letter case, or -1: the
// list box's own prefix search from the start.
int findStringPrefix(const QListWidget &list, const QString &text);

// Refuses typed characters other than 0-9 (text set by the program is not checked).
void acceptDigitsOnly(QLineEdit &edit);

// Keeps a window above all others (or not) without moving or sizing it.
void setTopmost(QWidget &window, bool on);
// Shows a window normally and raises it above every other window: made
// topmost, then not topmost again.
void bringToFront(QWidget &window);

} // namespace platform
