#include "search/windows/SearchHelpDlg.h"

#include "res/Resources.h"

CSearchHelpDlg::CSearchHelpDlg(QWidget *parent) : DialogWindow(res::dialog(res::SearchHelpDialog), parent)
{
}
