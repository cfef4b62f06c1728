// The MIDI tests need an event loop on the main thread, as the program has: the main thread plays the
// GUI thread, and messages reach it as queued events.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
