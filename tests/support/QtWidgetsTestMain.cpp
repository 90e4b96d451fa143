// Test entry point for tests that need widgets: the application object lives on main's
// stack, so it is destroyed before the process's exit handlers run.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstring>
#include <optional>

int main(int argc, char** argv) {
#ifndef _WIN32
    // Headless unless told otherwise (test discovery runs without the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    // Windows: the windows platform plugin, which needs a display (under wine, the test stage's
    // virtual one). Listing the tests needs none, so discovery after the build makes no
    // application.
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    std::optional<QApplication> application;
    if (!listing) {
        application.emplace(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
