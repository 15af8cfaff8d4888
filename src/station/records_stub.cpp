// Stand-in for the records module until it lands: keeps nothing.
#include "station/records.h"

#include <QDir>

namespace station {

QString result_word(JobResult result)
{
    switch (result) {
    case JobResult::Pass: return QStringLiteral("pass");
    case JobResult::FailVerify: return QStringLiteral("fail-verify");
    case JobResult::FailLink: return QStringLiteral("fail-link");
    case JobResult::FailRefused: return QStringLiteral("fail-refused");
    case JobResult::Unverified: return QStringLiteral("unverified");
    case JobResult::Aborted: return QStringLiteral("aborted");
    }
    return {};
}
std::optional<JobResult> result_from_word(const QString&) { return std::nullopt; }
Records::Records() = default;
Records::~Records() = default;
QString Records::default_path() { return QDir::homePath() + QStringLiteral("/.local/share/camera-adjust/station.sqlite"); }
bool Records::open(const QString& path, QString*) { connection_ = path; return true; }
bool Records::is_open() const { return true; }
QString Records::path() const { return connection_; }
qint64 Records::begin(const JobStart&, QString*) { return 1; }
bool Records::finish(qint64, const JobEnd&, QString*) { return true; }
QList<JobRow> Records::list(std::optional<QDateTime>, int) const { return {}; }
QString records_text(const QList<JobRow>&) { return {}; }
QString records_csv(const QList<JobRow>&) { return {}; }

} // namespace station
