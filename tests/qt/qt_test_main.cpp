// GoogleTest with a QApplication: the windows need one, and the whole suite shares it.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Without a display the suite still runs; ctest sets the same.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
