// Test entry point for tests that need widgets: the application object lives on main's
// stack, so it is destroyed before the process's exit handlers run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Headless unless told otherwise (test discovery runs without the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
