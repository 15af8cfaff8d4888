// The CCD Defect page's behaviour: what its controls send, and the decoding of every reply that
// completes while the page is active.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/defect/defect_codec.h"
#include "pages/defect/defect_picture.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace {

// Sets kizu_busy for its lifetime, so that the change handlers of controls written by code send
// nothing; the flag's earlier value comes back, so a nested copy cannot end the table read chain's
// hold on it. A flag that the selection handler cleared meanwhile stays clear: that handler is the
// way out of a chain that stopped short of entry G.
class KizuBusy {
public:
    explicit KizuBusy(TFKR58& w) : w_(w), saved_(w.kizu_busy) { w.kizu_busy = true; }
    ~KizuBusy() { w_.kizu_busy = saved_ && w_.kizu_busy; }
    KizuBusy(const KizuBusy&) = delete;
    KizuBusy& operator=(const KizuBusy&) = delete;

private:
    TFKR58& w_;
    bool saved_;
};

void send(TFKR58& w, const defect::Command& command)
{
    for (int i = 0; i < command.length; ++i) w.cmd_frame[static_cast<std::size_t>(1 + i)] = command.bytes[static_cast<std::size_t>(i)];
    w.StxCommand(w.cmd_frame, command.length);
}

// Sends when Trans_chk allows; true when it did.
bool send_if_free(TFKR58& w, const defect::Command& command)
{
    if (!w.Trans_chk()) return false;
    send(w, command);
    return true;
}

defect::Cursor cursor_of(const TFKR58& w) { return {w.Kizu_abc->itemIndex(), w.kizu_sel->isChecked()}; }

// What the last command sent was, read from cmd_frame (the reply answers it).
bool sent_defect_command(const TFKR58& w, std::uint8_t command_class)
{
    return w.cmd_frame[1] == command_class && w.cmd_frame[2] == defect::kGroup;
}

bool sent_table_read(const TFKR58& w)
{
    return sent_defect_command(w, defect::kRead) && defect::table_slice(w.cmd_frame[3]).count > 0;
}

bool sent_search(const TFKR58& w)
{
    return sent_defect_command(w, defect::kWrite) && defect::is_search_item(w.cmd_frame[3]);
}

// A search that will bring no result to decode (refused, unanswered, answered for another item)
// is over: the tabs it disabled come back, or the technician could never leave the page.
void end_search(TFKR58& w)
{
    if (sent_search(w)) w.PageControl1->setEnabled(true);
}

void show_entry(const DefectRow& row, const defect::Entry& e)
{
    row.enabled->setChecked(e.enabled);
    row.fix->setChecked(e.fix);
    row.rev->setChecked(e.rev);
    row.x->setText(hex_word_text(e.x));
    row.y->setText(hex_word_text(e.y));
}

void copy_position(const QLineEdit* from_x, const QLineEdit* from_y, QLineEdit* to_x, QLineEdit* to_y)
{
    to_x->setText(from_x->text());
    to_y->setText(from_y->text());
}

// The camera's answer to "Start", "Next" or "Retry": the entry it names, the position found and
// that entry's row; then the tabs the search disabled come back.
void show_search_result(TFKR58& w, const defect::SearchResult& found)
{
    {
        KizuBusy busy(w);
        w.kizu_rtn->setItemIndex(found.return_code);
        w.Kizu_abc->setItemIndex(found.entry_number - 1);
        w.kizu_rtn_x->setText(hex_word_text(found.x));
        w.kizu_rtn_y->setText(hex_word_text(found.y));
        w.kizu_rtn_fix->setChecked(found.fix);
        w.kizu_rtn_rev->setChecked(found.rev);
        copy_position(w.kizu_rtn_x, w.kizu_rtn_y, w.kizu_ax, w.kizu_ay);
        w.kizu_disp_set();
    }
    w.PageControl1->setEnabled(true);
    w.kizu_busy = false;
}

} // namespace

// ---- Replies ----

void TFKR58::Trans_end_kizu()
{
    if (reply_frame[1] != frames::kReplyAccepted) {
        dialogs().message(QStringLiteral(" Error "), QStringLiteral("ERR"));
        // A refused read ends the table read chain, and a refused search leaves the page's tabs
        // disabled: give both back, or every page would stay locked.
        if (sent_table_read(*this)) kizu_busy = false;
        end_search(*this);
        return;
    }
    const bool in_group = reply_frame[2] == defect::kGroup;
    const std::uint8_t item = reply_frame[3];
    if (cmd_frame[1] == defect::kWrite) {
        // A search answered for another group or item has no result to show: it is over, as a
        // refused or unanswered one is.
        if (in_group && defect::is_search_item(item))
            show_search_result(*this, defect::decode_search_result(reply_frame));
        else
            end_search(*this);
        return;
    }
    if (cmd_frame[1] != defect::kRead || !in_group) return;
    switch (item) {
    case defect::kItemTableAC:
    case defect::kItemTableDF:
    case defect::kItemTableG: {
        const defect::TableSlice slice = defect::table_slice(item);
        {
            KizuBusy busy(*this);
            for (int e = slice.first; e < slice.first + slice.count; ++e)
                show_entry(kizu_row(e), defect::decode_entry(reply_frame.data() + defect::table_offset_of(e)));
        }
        const std::uint8_t next = defect::next_table_item(item);
        // The chain holds the flag until entry G is in.
        kizu_busy = next != 0;
        if (next != 0) send(*this, defect::read_command(next));
        break;
    }
    case defect::kItemMeasureEven: {
        const defect::Measurement even = defect::decode_measurement(reply_frame);
        kizu_x1 = even.x;
        kizu_y1 = even.y;
        kizu_p1 = even.peak;
        send(*this, defect::read_command(defect::kItemMeasureOdd));
        break;
    }
    case defect::kItemMeasureOdd: {
        const defect::Measurement odd = defect::decode_measurement(reply_frame);
        kin_x1->setText(hex_word_text(kizu_x1));
        kin_x2->setText(hex_word_text(odd.x));
        kin_y1->setText(hex_word_text(kizu_y1));
        kin_y2->setText(hex_word_text(odd.y));
        kin_p1->setText(hex_word_text(kizu_p1));
        kin_p2->setText(hex_word_text(odd.peak));
        enable_timer(kizu_auto_timer);
        break;
    }
    default: break;
    }
}

void TFKR58::kizu_disp_set()
{
    KizuBusy busy(*this);
    const DefectRow row = kizu_row(Kizu_abc->itemIndex());
    if (!row.enabled) return;
    // The camera's search has stored the entry, so it shows as enabled.
    row.enabled->setChecked(true);
    copy_position(kizu_ax, kizu_ay, row.x, row.y);
    row.fix->setChecked(kizu_rtn_fix->isChecked());
    row.rev->setChecked(kizu_rtn_rev->isChecked());
}

// ---- Search and table ----

namespace {
void start_search(TFKR58& w, std::uint8_t item)
{
    if (!w.Trans_chk()) return;
    // The tabs stay disabled until the reply is decoded (or the exchange is abandoned).
    w.PageControl1->setEnabled(false);
    w.kizu_rtn->setItemIndex(-1);
    send(w, defect::search_command(item));
}
} // namespace

void TFKR58::kizu_startClick() { start_search(*this, defect::kItemStart); }
void TFKR58::kizu_nextClick() { start_search(*this, defect::kItemNext); }
void TFKR58::kizu_retryClick() { start_search(*this, defect::kItemRetry); }

void TFKR58::kizu_loadClick()
{
    if (!Trans_chk()) return;
    kizu_busy = true;
    send(*this, defect::read_command(defect::kItemTableAC));
}

void TFKR58::kizu_selClick()
{
    send_if_free(*this, defect::selection_command(cursor_of(*this)));
    // The flag ends clear whatever set it, so a click here frees every page after a table read
    // chain that stopped on a reply naming another item.
    kizu_busy = true;
    const DefectRow row = kizu_row(Kizu_abc->itemIndex());
    if (row.x) copy_position(row.x, row.y, kizu_ax, kizu_ay);
    kizu_busy = false;
}

void TFKR58::kizu_flagClick(std::uint8_t item, int entry)
{
    const DefectRow row = kizu_row(entry);
    const QCheckBox* box = item == defect::kItemEnabled ? row.enabled : item == defect::kItemFix ? row.fix : row.rev;
    send_if_free(*this, defect::flag_command(item, entry, box->isChecked(), cursor_of(*this)));
}

// ---- The working position ----

namespace {
void step(TFKR58& w, defect::Step direction)
{
    QLineEdit* edit = direction == defect::Step::Up || direction == defect::Step::Down ? w.kizu_ay : w.kizu_ax;
    edit->setText(hex_word_text(defect::stepped(direction, hex_text_value(edit->text()), w.SpinEdit1->value())));
    enable_timer(w.kizu_auto_timer);
}
} // namespace

void TFKR58::kizu_upClick() { step(*this, defect::Step::Up); }
void TFKR58::kizu_downClick() { step(*this, defect::Step::Down); }
void TFKR58::kizu_leftClick() { step(*this, defect::Step::Left); }
void TFKR58::kizu_rightClick() { step(*this, defect::Step::Right); }

void TFKR58::kizu_upKeyPress(char key)
{
    switch (defect::key_action(key)) {
    case defect::KeyAction::Up: kizu_upClick(); break;
    case defect::KeyAction::Down: kizu_downClick(); break;
    case defect::KeyAction::Left: kizu_leftClick(); break;
    case defect::KeyAction::Right: kizu_rightClick(); break;
    case defect::KeyAction::ToggleCursor: kizu_sel->toggle(); break;
    case defect::KeyAction::None: break;
    }
}

void TFKR58::Shape1MouseUp(int x, int y)
{
    // A button released after a drag out of the picture counts at the picture's nearest edge,
    // so that the position stays within the sensor.
    x = std::clamp(x, 0, Shape1->width() - 1);
    y = std::clamp(y, 0, Shape1->height() - 1);
    kizu_ax->setText(hex_word_text(defect::clicked_position(x, Shape1->width(), ccd_x_max)));
    kizu_ay->setText(hex_word_text(defect::clicked_position(y, Shape1->height(), ccd_y_max)));
    enable_timer(kizu_auto_timer);
}

void TFKR58::kizu_auto_timerTimer()
{
    kizu_auto_timer->stop();
    kizu_xy_set();
}

void TFKR58::kizu_xy_set()
{
    if (!Trans_chk()) return;
    {
        KizuBusy busy(*this);
        const DefectRow row = kizu_row(Kizu_abc->itemIndex());
        if (row.x) copy_position(kizu_ax, kizu_ay, row.x, row.y);
    }
    const int x = hex_text_value(kizu_ax->text());
    const int y = hex_text_value(kizu_ay->text());
    send(*this, defect::position_command(cursor_of(*this), x, y));
}

// ---- Service controls ----

void TFKR58::Kizu_saveClick() { send_if_free(*this, defect::save_command()); }
void TFKR58::KizuReadClick() { send_if_free(*this, defect::read_command(defect::kItemMeasureEven)); }
void TFKR58::kizu_lns_selClick() { send_if_free(*this, defect::lens_command(kizu_lns_sel->itemIndex())); }
void TFKR58::KFFXClick()
{
    send_if_free(*this, defect::selected_flag_command(defect::kItemFix, cursor_of(*this), KFFX->isChecked()));
}
void TFKR58::KFRVClick()
{
    send_if_free(*this, defect::selected_flag_command(defect::kItemRev, cursor_of(*this), KFRV->isChecked()));
}

// ---- Page hooks ----

void TFKR58::defect_form_create() {}

void TFKR58::defect_exchange_abandoned()
{
    // A table read chain that lost its reply is over; so is the wait for a search reply.
    if (sent_table_read(*this)) kizu_busy = false;
    end_search(*this);
}

void TFKR58::defect_page_left()
{
    // The outstanding reply of a table read chain now goes to the other page's decoder, which
    // does not continue the chain.
    kizu_busy = false;
}
