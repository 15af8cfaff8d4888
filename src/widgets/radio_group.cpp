#include "widgets/radio_group.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace {

// The group keeps its items exclusive itself (so that "no item" can show), and Qt announces
// buttons that are not auto-exclusive as check boxes. To an assistive tool the items are radio
// buttons, and its press or toggle selects the item exactly as a click does.
class RadioItemAccessible : public QAccessibleWidget {
public:
    explicit RadioItemAccessible(QRadioButton* item) : QAccessibleWidget(item, QAccessible::RadioButton) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = item()->isChecked();
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && item()->accessibleName().isEmpty())
            return QString(item()->text()).remove(QLatin1Char('&'));
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override { return {pressAction(), toggleAction()}; }

    void doAction(const QString& action) override
    {
        if (!item()->isEnabled()) return;
        if (action == pressAction() || action == toggleAction()) item()->click();
    }

private:
    QRadioButton* item() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* radio_item_accessible(const QString& class_name, QObject* object)
{
    if (class_name != QLatin1String("QRadioButton") || !qobject_cast<RadioGroup*>(object->parent())) return nullptr;
    return new RadioItemAccessible(static_cast<QRadioButton*>(object));
}

} // namespace

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), grid_(new QGridLayout(this))
{
    grid_->setContentsMargins(6, 2, 6, 2);
    grid_->setVerticalSpacing(0);
    static const bool accessible_items_installed = [] {
        QAccessible::installFactory(radio_item_accessible);
        return true;
    }();
    (void)accessible_items_installed;
    // Exclusivity is kept by setItemIndex, so that "no item" (-1) can be shown.
    group_->setExclusive(false);
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
        // Every way of checking an item (a click, a key, an assistive tool's toggle) selects it;
        // unchecking the selected item is undone.
        connect(b, &QAbstractButton::toggled, this, [this, b, i](bool checked) {
            if (checked && i != index_)
                setItemIndex(i);
            else if (!checked && i == index_)
                b->setChecked(true);
        });
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
