// Test main of the user-journey tests: the workbench program itself (runWorkbench) is
// started with a fresh settings file and its own single-instance key; the tests run from
// inside its event loop once the window is shown, and the program ends with their result.
// CTest runs every test in a process of its own, so each meets a freshly started program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../XvfbRestart.h"
#include "UserJourney.h"
#include "Workbench.h"

namespace {
MainWindow* running = nullptr;
QString settings;
std::unique_ptr<QTemporaryDir> scratch;
}  // namespace

namespace journey {
MainWindow& window() {
    return *running;
}
const QString& settingsFile() {
    return settings;
}
QString scratchFile(const QString& name) {
    return scratch->filePath(name);
}
}  // namespace journey

namespace {

// Every selected test in a program of its own, as CTest runs them: the tests share no
// window state. Returns the number of failed tests.
int runEachInItsOwnProgram(const std::vector<std::string>& arguments) {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) return 1;
    self.resize(static_cast<std::size_t>(length));
    std::string list = "'" + self + "' --gtest_list_tests";
    for (const std::string& a : arguments)
        if (a.rfind("--gtest_filter", 0) == 0) list += " '" + a + "'";
    FILE* pipe = popen(list.c_str(), "r");
    if (!pipe) return 1;
    std::vector<std::string> names;
    std::string suite;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        text = text.substr(0, text.find_first_of("\r\n#"));
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (text.empty()) continue;
        if (text[0] != ' ') {
            suite = text;
        } else {
            names.push_back(suite + text.substr(text.find_first_not_of(' ')));
        }
    }
    pclose(pipe);
    int failed = 0;
    setenv("TESSARO_JOURNEY_ONE_TEST", "1", 1);
    for (const std::string& name : names) {
        const std::string command = "'" + self + "' '--gtest_filter=" + name + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "FAILED: %s\n", name.c_str());
            ++failed;
        }
    }
    std::printf("%zu tests, %d failed\n", names.size(), failed);
    return failed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> original(argv + 1, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    guitest::restartUnderXvfbWithoutDisplay(original);
    const std::string filter = ::testing::GTEST_FLAG(filter);
    const bool oneTest = filter.find_first_of("*?:") == std::string::npos && !filter.empty();
    if (!oneTest && !std::getenv("TESSARO_JOURNEY_ONE_TEST")) {
        return runEachInItsOwnProgram(original) == 0 ? 0 : 1;
    }

    char* programOnly[] = {argv[0], nullptr};
    int programArgc = 1;
    // The settings folder is made before the program starts; no settings file exists.
    scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/tessaro-journey-XXXXXX");
    settings = scratch->filePath("settings.ini");
    WorkbenchOptions options;
    options.instanceKey = QString("TessaroUserJourney-%1").arg(::getpid());
    options.settingsFile = settings;
    int result = 1;
    options.started = [&result](MainWindow& window) {
        running = &window;
        result = RUN_ALL_TESTS();
        QCoreApplication::exit(result);
    };
    const int code = runWorkbench(programArgc, programArgc ? programOnly : argv, options);
    running = nullptr;
    scratch.reset();
    return code == 0 ? result : code;
}
