#pragma once
// The application object: shows any exception that escapes an event handler in a message box with
// the exception's text, as the serial component's errors expect.

#include <QApplication>

#include <exception>

// The application's exception handler: shows the exception's text in a message box.
void show_exception(std::exception_ptr error);

class CameraApplication : public QApplication {
    Q_OBJECT
public:
    CameraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
