#include "main_window/application.h"

#include "widgets/dialogs.h"

#include <exception>

void show_exception(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        dialogs().message(QString::fromUtf8(e.what()), QCoreApplication::applicationName());
    } catch (...) {
        dialogs().message(QStringLiteral("Unknown error"), QCoreApplication::applicationName());
    }
}

CameraApplication::CameraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CameraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        show_exception(std::current_exception());
    }
    return false;
}
