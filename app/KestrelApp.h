#pragma once

class QApplication;

// Starts the program: the main window, its login and its message loop.
class CKestrelApp {
public:
    // Returns the process exit code.
    int InitInstance(QApplication &app);
};
