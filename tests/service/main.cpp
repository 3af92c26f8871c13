#include <QCoreApplication>

#include <gtest/gtest.h>

// The scheduler's timer, its stop signals and its end all go through the Qt event loop, which
// needs the application object for the whole run.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
