#include "widgets/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), grid_(new QGridLayout(this))
{
    grid_->setContentsMargins(6, 2, 6, 2);
    grid_->setVerticalSpacing(0);
    // Exclusivity is kept by setItemIndex, so that "no item" (-1) can be shown.
    group_->setExclusive(false);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { setItemIndex(id); });
    setItems(items);
}

void RadioGroup::setItems(const QStringList& items)
{
    items_ = items;
    rebuild();
    if (index_ >= count()) setItemIndex(count() - 1);
    showIndex();
}

void RadioGroup::setColumns(int columns)
{
    columns_ = columns < 1 ? 1 : columns;
    rebuild();
}

void RadioGroup::rebuild()
{
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    const int rows = (static_cast<int>(items_.size()) + columns_ - 1) / columns_;
    for (int i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(items_[i], this);
        b->setObjectName(objectName() + QStringLiteral("Item%1").arg(i));
        b->setAutoExclusive(false);
        group_->addButton(b, i);
        grid_->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
        buttons_.push_back(b);
    }
    showIndex();
}

void RadioGroup::setItemIndex(int index)
{
    if (index >= count()) index = count() - 1;
    if (index < -1) index = -1;
    if (index == index_) {
        showIndex(); // a click on the checked button must leave it checked
        return;
    }
    index_ = index;
    showIndex();
    emit indexChanged(index_);
}

void RadioGroup::showIndex()
{
    for (int i = 0; i < count(); ++i) buttons_[static_cast<std::size_t>(i)]->setChecked(i == index_);
}
