// Test programs that need Qt's event loop run their tests inside one application, of the program's kind:
// its loop carries the render gate a test sets.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "audio/gated_application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // No display is needed, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Takes recorded by the tests are spooled here, never among the user's own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    voltina::GatedApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
