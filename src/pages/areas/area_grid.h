#pragma once
// The panels of 48 area check boxes on the Setup page.

#include "pages/areas/area_mask.h"

#include <QString>

#include <functional>

class QCheckBox;
class QWidget;

namespace areas {

using CellBoxes = std::array<QCheckBox*, kCells>;

// A 116 x 88 panel named `panel_name` holding 14 x 14 cells at a 14-pixel pitch from (2, 2),
// numbered row by row and named `cell_prefix` plus two digits. Every change of a cell, by the user
// or by code, calls `on_click`.
QWidget* build_grid(QWidget* parent, const QString& panel_name, const QString& cell_prefix,
                    const QString& area_caption, CellBoxes& cells, const std::function<void()>& on_click);

Cells cells_of(const CellBoxes& boxes);
// Sets the cells in ascending order from the mask.
void show_mask(const CellBoxes& boxes, const Mask& mask);

} // namespace areas
