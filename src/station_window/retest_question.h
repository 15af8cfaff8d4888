#pragma once
// Asks the operator, from a port's thread, whether a camera that passed with this master already
// is written again: the question is shown on the window's thread (through the dialogs interface)
// while the port waits for the answer. A run that stops meanwhile answers no.

#include <QObject>
#include <QString>

#include <atomic>

namespace station_window {

class RetestQuestion {
public:
    // `context` is the window: the question is shown on its thread, and not once it is gone.
    RetestQuestion(QObject* context, QString caption);

    // On a port's thread: true when the operator confirms.
    bool ask(int port, const QString& serial, const QString& master_name);
    // Ends every wait with no; later questions are answered no at once.
    void cancel() { cancelled_ = true; }

private:
    QObject* context_;
    QString caption_;
    std::atomic<bool> cancelled_{false};
};

} // namespace station_window
