#include <QApplication>

#include <gtest/gtest.h>

// Every test executable runs with a QApplication (widgets offscreen) and with the
// transport's loopback-only switch on, even when started by hand.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("RIVIVOZUZUVOD_LOOPBACK_ONLY", "1");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
