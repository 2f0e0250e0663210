#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace tools {

/// Gives a test or benchmark program a session bus of its own: unless the
/// environment already says this run has one (marker set), starts the program
/// again under dbus-run-session and does not return. Listing the tests needs
/// no bus and is left alone. Returns when the program may go on.
inline void RunInOwnSessionBus(int argc, char** argv, const char* marker) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--gtest_list_tests"))
            return;
    }
    if (std::getenv(marker))
        return;
    setenv(marker, "1", 1);
    std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    execvp("dbus-run-session", args.data());
    std::perror("dbus-run-session");
    std::exit(1);
}

} // namespace tools
