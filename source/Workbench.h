// The workbench program from start to end: one instance per user (a second start hands
// its file names to the first and ends), the splash screen, the main window, the files
// named on the command line and the event loop. `main` only fills in the options; the
// user-journey tests start the same program with their own settings file and a hook.
#pragma once

#include <QString>
#include <functional>

class MainWindow;

struct WorkbenchOptions {
    QString instanceKey = "HalvorskStelvaneTessaro3_Demo";  // the single-instance segment
    QString settingsFile;  // empty: settings.ini beside the program or in the user's folder
    // Called once the window is shown and the command-line files are loaded, from inside
    // the event loop; the tests drive the window from here.
    std::function<void(MainWindow&)> started;
};

// The OpenGL the view needs (3.3 core profile, 24-bit depth) as the default format of
// every context; set before the application object exists.
void setWorkbenchOpenGLFormat();

// Runs the program; returns its exit code.
int runWorkbench(int argc, char** argv, const WorkbenchOptions& options);
