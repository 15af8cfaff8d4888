#include "main_window/application.h"

#include "widgets/dialogs.h"

#include <exception>

CameraApplication::CameraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CameraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        dialogs().message(QString::fromUtf8(error.what()), applicationName());
    } catch (...) {
        dialogs().message(QStringLiteral("Unknown error"), applicationName());
    }
    return false;
}
