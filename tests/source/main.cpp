// Test main of the workbench window tests. The tests need a display and OpenGL 3.3: run
// without one, the program starts itself again under a virtual X server (xvfb-run) with
// Mesa's software renderer. Listing the tests needs no display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QSurfaceFormat>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The re-started program gets the arguments as given, before gtest takes its flags out.
    std::vector<std::string> original(argv + 1, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("TESSARO_UNDER_XVFB")) {
        setenv("TESSARO_UNDER_XVFB", "1", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                   const_cast<char*>("-s"),
                                   const_cast<char*>("-screen 0 1600x1200x24")};
        // Resolved now: under xvfb-run, /proc/self/exe would name the shell script.
        std::vector<char> self(4096, '\0');
        const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
        if (length <= 0) {
            std::perror("readlink /proc/self/exe");
            return 1;
        }
        args.push_back(self.data());
        for (std::string& argument : original)
            args.push_back(argument.data());
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }

    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
