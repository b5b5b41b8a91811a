#pragma once

#include "platform/DialogWindow.h"

// "搜索帮助": how search keys are written, with examples. Escape and the
// close box end it.
class CSearchHelpDlg : public platform::DialogWindow {
    Q_OBJECT
public:
    explicit CSearchHelpDlg(QWidget *parent = nullptr);
};
