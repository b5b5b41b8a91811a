#pragma once

#include "platform/DialogWindow.h"

// The About box: the program icon, its name and version, and 确定.
class CAboutDlg : public platform::DialogWindow {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};
