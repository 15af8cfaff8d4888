#include "widgets/readout.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace {

// Where a read-out keeps what it is; the label's accessible name must stay empty (see the header).
constexpr char kWhatProperty[] = "readout_what";

class ReadoutAccessible : public QAccessibleWidget {
public:
    explicit ReadoutAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        const QString shown = label()->text();
        if (kind == QAccessible::Value) return shown;
        if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
        const QString what = label()->property(kWhatProperty).toString();
        // A blank read-out (nothing read yet) is read as what it is alone.
        return shown.trimmed().isEmpty() ? what : what + QStringLiteral(": ") + shown.trimmed();
    }

private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

QAccessibleInterface* readout_accessible(const QString& class_name, QObject* object)
{
    auto* label = qobject_cast<QLabel*>(object);
    if (class_name != QLatin1String("QLabel") || !label || !label->property(kWhatProperty).isValid()) return nullptr;
    return new ReadoutAccessible(label);
}

} // namespace

void make_readout(QLabel* label, const QString& what)
{
    static const bool factory_installed = [] {
        QAccessible::installFactory(readout_accessible);
        return true;
    }();
    (void)factory_installed;
    label->setProperty(kWhatProperty, what);
    label->setAccessibleName(QString());
    // With an assistive tool running, the label's text set at construction already made Qt cache
    // a plain label interface; drop it so that the next query builds the read-out's.
    QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(label);
    if (cached && !dynamic_cast<ReadoutAccessible*>(cached))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
}
