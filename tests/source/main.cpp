// Test main of the workbench window tests. The tests need a display and OpenGL 3.3: run
// without one, the program starts itself again under a virtual X server (xvfb-run) with
// Mesa's software renderer. Listing the tests needs no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "Workbench.h"
#include "XvfbRestart.h"

int main(int argc, char** argv) {
    // The re-started program gets the arguments as given, before gtest takes its flags out.
    std::vector<std::string> original(argv + 1, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    guitest::restartUnderXvfbWithoutDisplay(original);

    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
    setWorkbenchOpenGLFormat();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
