#include "app/AboutDlg.h"

#include "res/Resources.h"

CAboutDlg::CAboutDlg(QWidget *parent) : DialogWindow(res::dialog(res::AboutDialog), parent)
{
}
