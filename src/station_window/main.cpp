// camera-station-window: the clone station's window for a line operator.

#include "station/station_link.h"
#include "station_window/station_window.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QThread>

namespace {

// An exception that escapes an event handler (the serial component reports a lost line that way)
// goes to the station link of the port thread it happened on; on the window's thread it is shown.
class StationWindowApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            if (QThread::currentThread() != thread())
                station::report_thread_exception(std::current_exception());
            else
                show(std::current_exception());
        }
        return false;
    }

private:
    static void show(std::exception_ptr error)
    {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            dialogs().message(QString::fromUtf8(e.what()), applicationDisplayName());
        } catch (...) {
            dialogs().message(QStringLiteral("Unknown error"), applicationDisplayName());
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    StationWindowApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("camera-station-window"));
    QApplication::setApplicationDisplayName(QStringLiteral("Camera Clone Station"));
    QApplication::setDesktopFileName(QStringLiteral("camera-station-window"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("camera-adjust")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The clone station's window: writes a master parameter file "
                                                    "into camera after camera and shows PASS or FAIL per port."));
    parser.addHelpOption();
    const QCommandLineOption db{QStringLiteral("db"),
                                QStringLiteral("The records: an SQLite file or a PostgreSQL URI (default: the station's "
                                               "settings file's, else the station's SQLite file)."),
                                QStringLiteral("PATH|URI")};
    const QCommandLineOption station{QStringLiteral("station"),
                                     QStringLiteral("The station's name in its records (default: the settings file's, "
                                                    "else the host name)."),
                                     QStringLiteral("NAME")};
    parser.addOption(db);
    parser.addOption(station);
    parser.process(app);

    station_window::StationWindow window(parser.value(db), nullptr, parser.value(station));
    set_dialog_parent(&window);
    window.show_as_last_left();
    return QApplication::exec();
}
