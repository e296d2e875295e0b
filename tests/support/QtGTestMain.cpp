// main() for tests that need a QApplication (on the offscreen platform unless
// the harness gives them a real X server).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
