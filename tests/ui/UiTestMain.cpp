// main() of the GoogleTest window tests: the QApplication the widgets need, on the offscreen
// platform unless the environment chooses another.

#include <gtest/gtest.h>

#include <QApplication>

// ThreadSanitizer builds: Qt's libraries are not instrumented, so the hand-overs inside their
// own thread pools (image conversion, the pooled threads' wait conditions) are invisible to it
// and show as races between Qt's frames. Races in our code keep being reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so.6\n"
           "race:libQt6Gui.so.6\n"
           "race:libQt6Widgets.so.6\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
