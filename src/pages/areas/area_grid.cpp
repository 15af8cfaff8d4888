// The back-light, WDR and motion area grids: decoding from the setup group replies and sending the
// whole mask on every click of a cell.

#include "pages/areas/area_grid.h"

#include "main_window/mkr58.h"
#include "pages/setup/setup_support.h"

#include <QCheckBox>
#include <QWidget>

namespace {
constexpr int kPanelWidth = 116;
constexpr int kPanelHeight = 88;
constexpr int kCellSize = 14;
constexpr int kOrigin = 2;
constexpr int kMaskOffset = 4; // reply bytes 4..9 carry the mask

areas::Mask reply_mask(const frames::Frame& reply)
{
    areas::Mask mask{};
    for (int k = 0; k < areas::kMaskBytes; ++k)
        mask[static_cast<std::size_t>(k)] = reply[static_cast<std::size_t>(kMaskOffset + k)];
    return mask;
}

void send_grid(TFKR58& w, std::uint8_t sub, std::uint8_t item, const areas::CellBoxes& boxes)
{
    if (!w.Trans_chk()) return;
    const areas::Mask m = areas::pack(areas::cells_of(boxes));
    setup::send_setting(w, {setup::kWrite, sub, item, m[0], m[1], m[2], m[3], m[4], m[5]});
}
} // namespace

namespace areas {

QWidget* build_grid(QWidget* parent, const QString& panel_name, const QString& cell_prefix,
                    const QString& area_caption, CellBoxes& cells, const std::function<void()>& on_click)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(panel_name);
    panel->setFixedSize(kPanelWidth, kPanelHeight);
    for (int i = 0; i < kCells; ++i) {
        auto* cell = new QCheckBox(panel);
        const QString number = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        cell->setObjectName(cell_prefix + number);
        // The cell shows no caption; its accessible name tells where it lies in the picture.
        cell->setAccessibleName(QStringLiteral("%1 row %2 column %3")
                                    .arg(area_caption)
                                    .arg(i / kColumns + 1)
                                    .arg(i % kColumns + 1));
        cell->setGeometry(kOrigin + (i % kColumns) * kCellSize, kOrigin + (i / kColumns) * kCellSize,
                          kCellSize, kCellSize);
        QObject::connect(cell, &QCheckBox::toggled, panel, [on_click] { on_click(); });
        cells[static_cast<std::size_t>(i)] = cell;
    }
    return panel;
}

Cells cells_of(const CellBoxes& boxes)
{
    Cells cells{};
    for (std::size_t i = 0; i < boxes.size(); ++i) cells[i] = boxes[i]->isChecked();
    return cells;
}

void show_mask(const CellBoxes& boxes, const Mask& mask)
{
    const Cells cells = unpack(mask);
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(cells[i]);
}

} // namespace areas

void TFKR58::BLCAreaSet() { areas::show_mask(BLCCheck, reply_mask(reply_frame)); }
void TFKR58::WDRAreaSet() { areas::show_mask(WDRCheck, reply_mask(reply_frame)); }
void TFKR58::MOTAreaSet() { areas::show_mask(MOTCheck, reply_mask(reply_frame)); }

void TFKR58::BLCAreaSend() { send_grid(*this, 0x13, 0x02, BLCCheck); }
void TFKR58::WDRAreaSend() { send_grid(*this, 0x13, 0x04, WDRCheck); }
void TFKR58::MOTAreaSend() { send_grid(*this, 0x19, 0x01, MOTCheck); }

void TFKR58::BLCCheck01Click()
{
    if (Trans_chk()) BLCAreaSend();
}

void TFKR58::WDRCheck01Click()
{
    if (Trans_chk()) WDRAreaSend();
}

void TFKR58::MOTCheck01Click()
{
    if (Trans_chk()) MOTAreaSend();
}
