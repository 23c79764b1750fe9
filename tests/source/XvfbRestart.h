// The window tests need a display and OpenGL 3.3: started without one, a test program
// starts itself again under a virtual X server (xvfb-run) with Mesa's software renderer.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace guitest {

// Returns only when a display is there (or the restart is the running program); on a
// failed restart the process ends with 1. `arguments` are the program's arguments as
// given, before gtest took its flags out.
inline void restartUnderXvfbWithoutDisplay(std::vector<std::string> arguments) {
    const char* display = std::getenv("DISPLAY");
    if ((display && *display) || std::getenv("TESSARO_UNDER_XVFB")) return;
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
        std::exit(1);
    }
    args.push_back(self.data());
    for (std::string& argument : arguments)
        args.push_back(argument.data());
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::perror("xvfb-run");
    std::exit(1);
}

}  // namespace guitest
