#include "station/station_application.h"

#include "station/station_link.h"

namespace station {

StationApplication::StationApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}

bool StationApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (...) {
        report_thread_exception(std::current_exception());
    }
    return false;
}

} // namespace station
