#pragma once

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include <QTest>

#include "lists/VirtualListCtrl.h"
#include "tests/support/RecordingServices.h"

// Checks shared by the windows whose list opens a cell's address in the
// browser on a double-click.
namespace ListOpenChecks {

inline void doubleClickCell(CVirtualListCtrl &list, Cell cell)
{
    const QPoint pos = list.cellRect(cell).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

struct OpenCase {
    const char *name;
    Cell cell;
    const char *opened; // nullptr: nothing
};

// Double-clicks each case's cell and checks what alone reached the shell.
inline void expectOpens(CVirtualListCtrl &list, platform::RecordingShell &shell,
                        const std::vector<OpenCase> &cases)
{
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.name);
        shell.opened.clear();
        doubleClickCell(list, c.cell);
        if (!c.opened) {
            EXPECT_TRUE(shell.opened.empty());
            continue;
        }
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0], QUrl(QString::fromUtf8(c.opened)));
    }
}

} // namespace ListOpenChecks
