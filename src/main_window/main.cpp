// Program entry: one instance per user, the main window, the mask window, the message loop.

#include "main_window/application.h"
#include "main_window/mkr58.h"
#include "main_window/single_instance.h"
#include "mask/cmask.h"

#include <QIcon>

#ifndef CAMERA_TOOL_TYPE
#define CAMERA_TOOL_TYPE 0
#endif

int main(int argc, char** argv)
{
    CameraApplication app(argc, argv);
    CameraApplication::setApplicationName(QStringLiteral("Camera Adjust Tool"));
    // Ties the windows to their menu entry (and its icon) in the desktop's task list.
    static const char* const desktop_entries[] = {"camera-adjust", "camera-adjust-debug", "camera-adjust-delay"};
    CameraApplication::setDesktopFileName(QString::fromLatin1(desktop_entries[CAMERA_TOOL_TYPE]));
    CameraApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("camera-adjust")));

    SingleInstance instance(QStringLiteral("QMT CCTV Camera Adjust tool."));
    if (!instance.acquire()) return 0;

    try {
        TFKR58 window(CAMERA_TOOL_TYPE);
        if (window.ended()) return window.exit_code();
        window.FMask = new TFMask(&window);
        instance.set_window(&window);
        window.show();
        return CameraApplication::exec();
    } catch (...) {
        // Only a failure that leaves no window to go on with gets here.
        show_exception(std::current_exception());
        return 1;
    }
}
