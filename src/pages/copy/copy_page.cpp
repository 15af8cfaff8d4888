// The Copy page: the camera's EEPROM (1024 words) to a data file and back, for a production line
// that reads one camera into a file and writes that file into camera after camera.

#include "main_window/mkr58.h"

#include "codecs/data_file.h"
#include "link/hex_text.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/readout.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

enum Operation { CameraToPc = 0, PcToCameraSingle = 1, PcToCameraBatch = 2 };

constexpr std::uint8_t kEepromRead = 0x33;
constexpr int kLastAddress = data_file::kWords - 1;
constexpr int kBatchOpenedProgress = 16;
constexpr int kBatchReadProgress = 256;

const QString kDataFilePattern = QStringLiteral("*.dat");

// Where a file dialog starts: the data files of the folder used last (the working folder at first).
QString dialog_start(const QString& last_folder)
{
    return last_folder.isEmpty() ? kDataFilePattern : QDir(last_folder).filePath(kDataFilePattern);
}

QPushButton* copy_button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString::fromLatin1(caption));
    return b;
}

QLabel* copy_label(QWidget* parent, const char* name, const QString& caption)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

void TFKR58::build_copy_page()
{
    auto* outer = new QVBoxLayout(CopySheet);
    Panel7 = new QFrame(CopySheet);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(Panel7);
    auto* grid = new QGridLayout(Panel7);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);

    // The two single-mode buttons appear with the service code; the batch button with the Debug
    // and Delay configurations. The shell shows them.
    CtopOK2 = copy_button(Panel7, "CtopOK2", "Camera->PC");
    ptocOk = copy_button(Panel7, "ptocOk", "PC->Camera");
    ptocOk2 = copy_button(Panel7, "ptocOk2", "PC->Camera(Batch)");
    for (QPushButton* b : {CtopOK2, ptocOk, ptocOk2}) {
        b->setMinimumSize(140, 36);
        b->hide();
    }
    connect(CtopOK2, &QPushButton::clicked, this, &TFKR58::CtopOK2Click);
    connect(ptocOk, &QPushButton::clicked, this, &TFKR58::ptocOkClick);
    connect(ptocOk2, &QPushButton::clicked, this, &TFKR58::ptocOk2Click);

    Same = new QCheckBox(QStringLiteral("Same File Name"), Panel7);
    Same->setObjectName(QStringLiteral("Same"));
    Same->setAccessibleName(QStringLiteral("Same File Name"));

    Copy_select = new RadioGroup(QStringLiteral("Copy_select"), {"ctop", "ptoc(Single)", "ptoc(batch)"}, Panel7);
    Copy_select->setObjectName(QStringLiteral("Copy_select"));
    Copy_select->setAccessibleName(QStringLiteral("Copy_select"));
    Copy_select->setEnabled(false);
    Copy_select->hide();

    Label33 = copy_label(Panel7, "Label33", QStringLiteral("File Name"));
    Copyfname2 = copy_label(Panel7, "Copyfname2", QStringLiteral("Copyfname"));
    make_readout(Copyfname2, QStringLiteral("File Name"));
    Copyfname2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Copyfname2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Copyfname2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path must not widen the fixed-size window.
    Copyfname2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Copyfname2->setMinimumHeight(24);
    Label33->setBuddy(Copyfname2);

    Label35 = copy_label(Panel7, "Label35", QStringLiteral("        "));
    make_readout(Label35, QStringLiteral("Direction"));
    complete2 = copy_label(Panel7, "complete2", QStringLiteral("Complete"));
    complete2->setAccessibleName(QStringLiteral("Complete"));
    QFont big = complete2->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    complete2->setFont(big);
    Label35->setFont(big);

    ProgressBar3 = new QProgressBar(Panel7);
    ProgressBar3->setObjectName(QStringLiteral("ProgressBar3"));
    ProgressBar3->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar3->setRange(0, 100);
    ProgressBar3->setValue(0);
    ProgressBar3->setTextVisible(false);

    grid->addWidget(CtopOK2, 0, 0);
    grid->addWidget(ptocOk, 0, 1);
    grid->addWidget(ptocOk2, 0, 2);
    grid->addWidget(Same, 1, 0, 1, 3);
    grid->addWidget(Label33, 2, 0);
    grid->addWidget(Copyfname2, 3, 0, 1, 4);
    grid->addWidget(Label35, 4, 0, 1, 2);
    grid->addWidget(complete2, 4, 2);
    grid->addWidget(ProgressBar3, 5, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(6, 1);

    SaveDialog1 = {kDataFilePattern, data_file::dialog_filter()};
    OpenDialog1 = {kDataFilePattern, data_file::dialog_filter()};
    copy_file = new QFile(this);
}

void TFKR58::copy_form_create()
{
    Same->setChecked(false);
    Copy_select->setItemIndex(-1);
}

void TFKR58::copy_exchange_abandoned()
{
    // The camera may yet answer the read given up on; the next copy passes over that answer.
    if (copy_running && Copy_select->itemIndex() == CameraToPc) ctop_unanswered = ctop_address;
    copy_stop();
}

// Replies no longer reach the page, so a copy in progress cannot go on.
void TFKR58::copy_page_left() { copy_stop(); }

void TFKR58::copy_stop()
{
    copy_running = false;
    if (copy_file->isOpen()) copy_file->close();
}

void TFKR58::copy_set_progress(qint64 position)
{
    ProgressBar3->setValue(static_cast<int>(std::clamp<qint64>(position, ProgressBar3->minimum(), ProgressBar3->maximum())));
}

// ---------------------------------------------------------------------------------------------
// Camera->PC

int TFKR58::ctop_adr_chk(int address)
{
    if (address != 0) return address;
    std::fill_n(param_image->begin(), data_file::kWords, -1);
    return data_file::kWords;
}

void TFKR58::CtopOK2Click()
{
    if (!Trans_chk()) return;
    copy_stop();
    Copy_select->setItemIndex(CameraToPc);
    Label35->setText(QStringLiteral("Camera->PC"));
    ProgressBar3->setValue(0);
    complete2->hide();
    Copyfname2->clear();

    const QString path = dialogs().save_file_name(SaveDialog1.Filter, dialog_start(copy_last_folder));
    if (path.isEmpty()) return;
    SaveDialog1.FileName = path;
    copy_last_folder = QFileInfo(path).absolutePath();
    if (QFileInfo::exists(path)
        && !dialogs().confirm(QStringLiteral("Do you really want to over write ") + QFileInfo(path).fileName()
                                  + QStringLiteral("?"),
                              QStringLiteral("Confirm")))
        return;

    Copyfname2->setText(path);
    ctop_adr_chk(0);
    copy_running = true;
    ctop_address = 0;
    cmd_frame[1] = kEepromRead;
    cmd_frame[2] = data_file::kParameterSubCode;
    cmd_frame[3] = 0x00;
    cmd_frame[4] = 0x00;
    StxCommand(cmd_frame, 4);
    ProgressBar3->setMaximum(data_file::kWords);
    ProgressBar3->setValue(0);
}

void TFKR58::Trans_end_ctop()
{
    if (reply_frame[2] != data_file::kParameterSubCode) return;
    const int address = reply_frame[3] * 256 + reply_frame[4];
    if (address != ctop_address) {
        if (address != ctop_unanswered) {
            ctop_answered_other(address);
            return;
        }
        // The late reply to the read an earlier copy gave up on: taking it would skip the words
        // up to its address. The read asked for is still outstanding.
        ctop_unanswered = -1;
        comm_busy = true;
        reply_wait = kFrameReplyTicks;
        return;
    }
    (*param_image)[static_cast<std::size_t>(address)] = reply_frame[5] * 256 + reply_frame[6];
    if (address < kLastAddress) {
        ctop_address = address + 1;
        // The bar moves once the next read is out: every few steps QProgressBar::setValue repaints
        // the window at once, which would hold up the command by up to milliseconds.
        const auto move_bar = qScopeGuard([this, address] { ProgressBar3->setValue(address); });
        // All four bytes again: a reload refused meanwhile may have written over the command.
        cmd_frame[1] = kEepromRead;
        cmd_frame[2] = data_file::kParameterSubCode;
        cmd_frame[3] = static_cast<std::uint8_t>((address + 1) >> 8);
        cmd_frame[4] = static_cast<std::uint8_t>((address + 1) & 0xFF);
        StxCommand(cmd_frame, 4);
        return;
    }
    ProgressBar3->setValue(address);
    copy_running = false;
    if (!copy_save_file(Copyfname2->text(), data_file::camera_file(*param_image))) {
        dialogs().message(QStringLiteral("File write Error occured"), QStringLiteral("File.ERR"));
        return;
    }
    complete2->show();
}

// The camera named another address than the one asked for, or one beyond its memory: the word
// cannot be placed, so nothing is stored, nothing more is asked and no file is written.
void TFKR58::ctop_answered_other(int address)
{
    copy_stop();
    dialogs().message(QStringLiteral("Camera answered address 0x%1 for 0x%2")
                          .arg(hex_word_text(address), hex_word_text(ctop_address)),
                      QStringLiteral("Copy stopped"));
}

bool TFKR58::copy_save_file(const QString& path, const QByteArray& bytes) { return data_file::save_file(path, bytes); }

// ---------------------------------------------------------------------------------------------
// PC->Camera

// With "Same File Name" the file the open dialog chose last is used again without a dialog.
bool TFKR58::copy_open_chosen_file()
{
    const bool reuse = Same->isChecked() && !Copyfname2->text().isEmpty();
    if (Same->isChecked() && Copyfname2->text().isEmpty()) Same->setChecked(false);
    if (!reuse) {
        const QString path = dialogs().open_file_name(OpenDialog1.Filter, dialog_start(copy_last_folder));
        if (path.isEmpty()) return false;
        OpenDialog1.FileName = path;
        copy_last_folder = QFileInfo(path).absolutePath();
    }
    Copyfname2->setText(OpenDialog1.FileName);
    // Only a plain file: opening a FIFO would block, a device may never end.
    copy_file->setFileName(OpenDialog1.FileName);
    if (!QFileInfo(OpenDialog1.FileName).isFile() || !copy_file->open(QIODevice::ReadOnly)) {
        copy_read_failed();
        return false;
    }
    copy_file_size = copy_file->size();
    copy_file_pos = 0;
    ProgressBar3->setMaximum(static_cast<int>(std::clamp<qint64>(copy_file_size, 1, std::numeric_limits<int>::max())));
    return true;
}

void TFKR58::copy_read_failed()
{
    copy_stop();
    dialogs().message(QStringLiteral("File read Error occured"), QStringLiteral("File.ERR"));
}

bool TFKR58::make_frec()
{
    if (!copy_file->isOpen()) return false;
    data_file::Line line;
    const data_file::ReadStatus status = data_file::read_line(*copy_file, copy_file_pos, copy_file_size, line);
    if (status == data_file::ReadStatus::Error) {
        copy_read_failed();
        return false;
    }
    copy_line = line.head;
    const data_file::LineFrame read =
        status == data_file::ReadStatus::Line ? data_file::frame_from_line(line, cmd_frame) : data_file::LineFrame::Empty;
    if (copy_file_pos >= copy_file_size) copy_file->close();
    // A line that converts no digit would send whatever the frame held before: a read failure,
    // first line or not.
    if (read == data_file::LineFrame::NoDigit) {
        copy_read_failed();
        return false;
    }
    return read == data_file::LineFrame::Converted;
}

bool TFKR58::make_allrec()
{
    // Read into a copy: a failure half-way leaves the table as it was.
    frames::ParamImage image = *param_image;
    const bool read = data_file::read_records(*copy_file, copy_file_pos, copy_file_size, image);
    copy_file->close();
    if (!read) {
        copy_read_failed();
        return false;
    }
    *param_image = image;
    return true;
}

// The start both PC->Camera modes share; true once the chosen file is open.
bool TFKR58::copy_begin_ptoc(int operation)
{
    complete2->hide();
    if (!Trans_chk()) return false;
    copy_stop();
    Copy_select->setItemIndex(operation);
    Label35->setText(QStringLiteral("PC->Camera"));
    ProgressBar3->setValue(0);
    return copy_open_chosen_file();
}

void TFKR58::ptocOkClick()
{
    if (!copy_begin_ptoc(PcToCameraSingle)) return;
    copy_running = true;
    // A file that ends before its first line to send writes nothing into the camera: it must
    // neither show "Complete" nor be offered again through "Same File Name".
    if (!make_frec()) {
        if (copy_running) copy_read_failed(); // else a failure make_frec has reported
        return;
    }
    copy_send_line();
}

// After a reply: the operation ends at the end of the file or at an empty line, and stops at a
// line that converts no digit (a read failure make_frec reports). The next line goes out from
// the reply handler without a pause: the camera has just finished its 18-byte reply (9 ms at
// 19200 baud), and no waiting, idle loop or timer gap leaves the window frozen or the link free
// for another sender mid-file.
void TFKR58::copy_send_next_line()
{
    if (make_frec())
        copy_send_line();
    else if (copy_running) // else a read failure, already reported
        copy_ptoc_finished();
}

// Sends the line just read as it stands (the camera ID then replaces its 15th byte). The reset
// (0xF3) has no reply, so once it is out the operation is over.
void TFKR58::copy_send_line()
{
    StxCommand(cmd_frame, frames::kMaxCommandLength);
    copy_set_progress(copy_file_pos);
    if (cmd_frame[1] == frames::kCommandReset) copy_ptoc_finished();
}

void TFKR58::copy_ptoc_finished()
{
    copy_stop();
    complete2->show();
    Same->setChecked(true);
}

void TFKR58::ptocOk2Click()
{
    if (!copy_begin_ptoc(PcToCameraBatch)) return;
    copy_set_progress(kBatchOpenedProgress);
    if (!make_allrec()) return;
    copy_set_progress(ProgressBar3->value() + kBatchReadProgress);
    PageControl1->setEnabled(true);
    Same->setFocus();
    copy_running = true;
    SohCommand();
}

// ---------------------------------------------------------------------------------------------
// Replies

void TFKR58::Trans_end_copy()
{
    if (reply_frame[1] != frames::kReplyAccepted) {
        dialogs().message(QStringLiteral(" Error "), QStringLiteral("ERR"));
        // The block disabled the page control and only the reset after it would enable it again.
        if (copy_running && Copy_select->itemIndex() == PcToCameraBatch) PageControl1->setEnabled(true);
        copy_stop();
        return;
    }
    if (!copy_running) return;
    switch (Copy_select->itemIndex()) {
    case CameraToPc: Trans_end_ctop(); break;
    case PcToCameraSingle: copy_send_next_line(); break;
    case PcToCameraBatch:
        copy_running = false;
        ProgressBar3->setValue(ProgressBar3->maximum());
        Reset1Click();
        PageControl1->setEnabled(true); // also when a reload refused meanwhile kept the reset back
        Same->setChecked(true);
        complete2->show();
        break;
    default: break;
    }
}
