#pragma once
// The station's application object: an exception that escapes an event handler (the serial
// component reports a lost line that way) goes to the link of the thread it happened on instead
// of ending the program.

#include <QCoreApplication>

namespace station {

class StationApplication : public QCoreApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace station
