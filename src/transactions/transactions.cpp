// The transaction engine of the main window: the read series that loads a page, routing of every
// completed reply to the decoders, and the gate that lets a user action send.

#include "main_window/mkr58.h"
#include "transactions/transaction_table.h"

void TFKR58::Trans_init(unsigned type)
{
    trans_no = type + 1;
    cmd_frame[1] = kReadCommand;
    const std::optional<ReadRequest> request = read_request(active_page(), type);
    if (!request) {
        trans_no = 0;
        return;
    }
    for (int i = 0; i + 1 < request->length; ++i) cmd_frame[static_cast<std::size_t>(2 + i)] = request->bytes[static_cast<std::size_t>(i)];
    // While an exchange is outstanding nothing is sent; the series goes on from its reply.
    StxCommand(cmd_frame, request->length);
}

void TFKR58::Trans_end()
{
    Trans_end_common();
    switch (active_page()) {
    case LensPage: Trans_end_cstm(); break;
    case DebugPage: Debug_tend(); break;
    case DefectPage: Trans_end_kizu(); break;
    case CopyPage: Trans_end_copy(); break;
    case SetupPage: Trans_end_easy(); break;
    default: break;
    }
    Trans_cstm_hidden();
    kizu_marker_set();
}

bool TFKR58::Trans_chk() const { return trans_no == 0 && !comm_busy && !kizu_busy && !ctrl_updating; }

void TFKR58::SW_push(std::uint8_t key)
{
    if (!Trans_chk()) return;
    cmd_frame[1] = 0x23;
    cmd_frame[2] = 0x32;
    cmd_frame[3] = key;
    StxCommand(cmd_frame, 3);
}
