// Runs the GoogleTest cases inside the tool's own application object, headless.

#include "main_window/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    CameraApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
