#pragma once
// A grid row of a caption and its control; the caption is the control's buddy, so that assistive
// technology reads the control by its caption.

#include <QGridLayout>
#include <QLabel>

inline QLabel* add_labelled_row(QGridLayout* grid, int row, const QString& caption, QWidget* control)
{
    auto* label = new QLabel(caption, control->parentWidget());
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    return label;
}
