// The camera link of the main window: one exchange at a time, the reply time-out counted in
// SendTimer ticks, the receive handler, and the connection at start-up.

#include "comm/comm.h"
#include "link/hex_text.h"
#include "main_window/application.h"
#include "main_window/mkr58.h"
#include "widgets/dialogs.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kBusyCursor = -11;
constexpr std::uint8_t kLinkNotConnected = 0;
constexpr std::uint8_t kLinkIdle = 1;
constexpr std::uint8_t kLinkAnswerBegun = 2;
constexpr int kCameraBaud = 19200;

QString frame_trace(const frames::Frame& frame) { return hex_trace(frame.data() + 1, 17); }
} // namespace

int TFKR58::r_data(std::uint8_t byte)
{
    const ReceiveDecoder::Outcome out = rx_decoder.feed(byte, reply_frame);
    if (out.etx_error) report_etx_error();
    return out.result;
}

// Line noise can damage many frames in a row. The box is shown from the event loop, not from
// inside the receive handler, so the line goes on being read while it is open; errors meanwhile
// are counted, not shown, and one box at a time is all the technician has to close.
void TFKR58::report_etx_error()
{
    ++etx_errors;
    if (etx_box_open_) return;
    etx_box_open_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            dialogs().message(QStringLiteral("ETX Error"), QStringLiteral("Recv. error"));
            etx_box_open_ = false;
        },
        Qt::QueuedConnection);
}

void TFKR58::Comm1CommReceive(TComm* sender, std::uint16_t size)
{
    for (int i = 0; i < size; ++i) {
        std::uint8_t byte = 0;
        sender->Read(&byte, 1);
        const int result = r_data(byte);
        if (result < 0) continue;
        switch (link_status) {
        case kLinkNotConnected:
            break;
        case kLinkIdle:
            // Only once something has been sent does a decoder event mean an answer has begun.
            if (cmd_frame[0] == frames::SOH || cmd_frame[0] == frames::STX) link_status = kLinkAnswerBegun;
            break;
        case kLinkAnswerBegun:
            if (result != ReceiveDecoder::kFrameComplete) break;
            StatusPanel[2]->setText(frame_trace(reply_frame));
            reply_wait = -1;
            link_status = kLinkIdle;
            Cursor_set(0);
            comm_busy = false;
            {
                const std::uint32_t series = trans_no;
                Trans_end();
                if (trans_no != 0 && trans_no == series) Trans_init(trans_no);
            }
            break;
        default:
            dialogs().message(QStringLiteral("comm LINK_STATUS"), QStringLiteral("Comm error"));
            link_status = kLinkIdle;
            break;
        }
    }
}

int TFKR58::StxCommand(frames::Frame& data, int length)
{
    if (comm_busy) return 0;
    comm_busy = true;
    Cursor_set(kBusyCursor);
    frames::complete_command_frame(data, length, static_cast<std::uint8_t>(IDUpDown->position()));
    // Bytes received before this command can never be its reply: a stray SOH or STX on an idle
    // line must not leave the decoder in the middle of a frame that swallows the answer.
    rx_decoder.reset();
    write_or_abandon(data.data(), static_cast<int>(data.size()));
    reply_wait = kFrameReplyTicks;
    StatusPanel[1]->setText(frame_trace(data));
    non_response_chk();
    return 0;
}

void TFKR58::non_response_chk()
{
    if (cmd_frame[1] != frames::kCommandReset) return;
    comm_busy = false;
    Cursor_set(0);
    PageControl1->setEnabled(true);
    reply_wait = -1;
}

void TFKR58::SohCommand()
{
    if (comm_busy) {
        StatusPanel[1]->setText(QStringLiteral("Busy"));
        return;
    }
    comm_busy = true;
    PageControl1->setEnabled(false);
    Cursor_set(kBusyCursor);
    cmd_frame[0] = frames::SOH;
    frames::build_soh_block(*param_image, *soh_block_);
    rx_decoder.reset();
    std::size_t offset = 0;
    for (std::size_t piece : frames::kSohPieceSizes) {
        write_or_abandon(soh_block_->data() + offset, static_cast<int>(piece));
        offset += piece;
    }
    reply_wait = kBlockReplyTicks;
    // Like the camera-side bar it mirrors, the position stops at the maximum.
    ProgressBar3->setValue(std::min(ProgressBar3->value() + 1024, ProgressBar3->maximum()));
}

void TFKR58::SendTimerTimer()
{
    if (link_status != kLinkNotConnected) {
        if (reply_wait == -1) return;
        if (--reply_wait >= 0) return;
        abandon_exchange(); // silently
        return;
    }
    // The start-up connection did not complete: try port 1 again, then port 2, then give up.
    Comm1->Close();
    ++connect_retry;
    if (connect_retry == 1) {
        CnctDataLink(1, kCameraBaud);
    } else if (connect_retry == 2) {
        CnctDataLink(2, kCameraBaud);
    } else {
        SendTimer->stop();
        dialogs().message(QStringLiteral(" Serial Port not connected "), QStringLiteral("Comm.ERR"));
        end_application(1);
    }
}

// The end of an exchange without a reply: the link is free again, any series in progress is
// dropped, and the technician can act again.
void TFKR58::abandon_exchange()
{
    comm_busy = false;
    reply_wait = -1;
    PageControl1->setEnabled(true);
    trans_no = 0;
    Cursor_set(0);
    rx_decoder.reset();
    if (link_status != kLinkNotConnected) link_status = kLinkIdle;
    pages_exchange_abandoned();
}

// A write that fails ends the exchange as a time-out would, then its error goes on to the
// application's handler, which shows it.
void TFKR58::write_or_abandon(const void* bytes, int count)
{
    try {
        Comm1->Write(bytes, count);
    } catch (...) {
        abandon_exchange();
        throw;
    }
}

void TFKR58::CnctDataLink(int port, int baud)
{
    Comm1->Close();
    Comm1->SetBaudRate(baud);
    Comm1->SetPort(static_cast<std::uint8_t>(port));
    Comm1->Open();
    enable_timer(SendTimer);
}

bool TFKR58::DR_check() const { return Comm1->GetDsrState(); }

void TFKR58::Trans_Create()
{
    StatusPanel[0]->setText(QStringLiteral("Comm. Connecting"));
    try {
        CnctDataLink(1, kCameraBaud);
    } catch (...) {
        // The open error is reported like any other and start-up stops here, not connected; the
        // reconnect ticks of SendTimer take over.
        show_exception(std::current_exception());
        return;
    }
    trans_no = 0;
    Cursor_set(0);
    rx_decoder.reset();
    link_status = kLinkIdle;
    comm_busy = false;
    if (DR_check()) {
        ReLoadClick();
        PageControl1->setEnabled(true);
    } else {
        dialogs().message(QStringLiteral(" Serial Port not connected "), QStringLiteral("Comm.Error"));
        Comm1->Close();
        end_application(1);
    }
}
