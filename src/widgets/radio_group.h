#pragma once
// A captioned group of radio buttons with an item index: -1 shows no item, an index beyond the
// items clamps to the last one, and every change of the index — by the user or by code — raises
// indexChanged once. Setting the index it already has raises nothing.

#include <QGroupBox>
#include <QStringList>

#include <vector>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit RadioGroup(const QString& caption, const QStringList& items = {}, QWidget* parent = nullptr);

    void setItems(const QStringList& items);
    QStringList items() const { return items_; }
    int count() const { return static_cast<int>(buttons_.size()); }
    void setColumns(int columns);
    int columns() const { return columns_; }

    int itemIndex() const { return index_; }
    void setItemIndex(int index);
    QRadioButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

signals:
    // The click event of the group: the index changed, by a user click or by code.
    void indexChanged(int index);

private:
    void rebuild();
    void showIndex();

    QStringList items_;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
    QGridLayout* grid_;
    int columns_ = 1;
    int index_ = -1;
};
