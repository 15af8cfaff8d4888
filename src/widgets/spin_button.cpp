#include "widgets/spin_button.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

SpinButton::SpinButton(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setAccessibleName(QStringLiteral("Up"));
    down_->setAccessibleName(QStringLiteral("Down"));
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &SpinButton::upClick);
    connect(down_, &QToolButton::clicked, this, &SpinButton::downClick);
}

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, int position, bool wrap, QWidget* parent)
    : QWidget(parent), buddy_(buddy), arrows_(new SpinButton(this)), min_(minimum), max_(maximum),
      position_(position), wrap_(wrap)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(arrows_);
    connect(arrows_, &SpinButton::upClick, this, [this] { stepBy(1); });
    connect(arrows_, &SpinButton::downClick, this, [this] { stepBy(-1); });
    buddy_->setText(QString::number(position_));
}

int UpDown::position() const
{
    // The edit is the source of truth, as the user may have typed into it.
    bool ok = false;
    const int typed = buddy_->text().trimmed().toInt(&ok);
    if (ok && typed >= min_ && typed <= max_) return typed;
    return position_;
}

void UpDown::setPosition(int position)
{
    // Not std::clamp: a camera may report a minimum above its maximum, and then the maximum wins.
    if (position > max_)
        position = max_;
    else if (position < min_)
        position = min_;
    const bool changed = position != position_;
    position_ = position;
    buddy_->setText(QString::number(position_));
    if (changed) emit positionChanged(position_);
}

void UpDown::setRange(int minimum, int maximum)
{
    min_ = minimum;
    max_ = maximum;
    setPosition(position_);
}

void UpDown::stepBy(int steps)
{
    int next = position() + steps;
    if (next > max_) next = wrap_ ? min_ : max_;
    if (next < min_) next = wrap_ ? max_ : min_;
    setPosition(next);
}
