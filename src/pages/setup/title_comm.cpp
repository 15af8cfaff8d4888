// The "Camera ID" and "COMM." groups of the Setup page: the title display, its position and text,
// and the camera's communication mode and ID.

#include "codecs/title_codes.h"
#include "main_window/mkr58.h"
#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"

#include <QLineEdit>
#include <QPushButton>

using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {
constexpr std::uint8_t kTitle = 0x10;
constexpr std::uint8_t kTitleBlockItem = 0x01;
constexpr std::uint8_t kCommunication = 0x28;
constexpr int kFirstCodeByte = 5; // command and reply byte of the first character's high byte
constexpr int kTitleBlockLength = kFirstCodeByte + 2 * kTitleBlockChars - 1; // bytes 1..14
} // namespace

void TFKR58::CtitleClick() { send_setting(*this, {kWrite, kTitle, 0x00, low_byte(Ctitle->itemIndex())}); }

void TFKR58::ID_POSIClick() { send_setting(*this, {kWrite, kTitle, 0x03, low_byte(ID_POSI->itemIndex())}); }

void TFKR58::SetTitleClick() { CidWrite(0); }

void TFKR58::CidWrite(int block)
{
    if (!Trans_chk()) return;
    // Enabled again when the camera accepts the last block (Trans_end_easy).
    SetTitle->setEnabled(false);
    cmd_frame[1] = kWrite;
    cmd_frame[2] = kTitle;
    cmd_frame[3] = kTitleBlockItem;
    cmd_frame[4] = low_byte(block);
    // The text is taken anew for every block, as it stands when the block goes out.
    const auto codes = title_block_codes(CName->text(), block);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        cmd_frame[kFirstCodeByte + 2 * i] = static_cast<std::uint8_t>(codes[i] >> 8);
        cmd_frame[kFirstCodeByte + 2 * i + 1] = low_byte(codes[i]);
    }
    StxCommand(cmd_frame, kTitleBlockLength);
}

void TFKR58::CharSet()
{
    const int block = reply_frame[4];
    if (block == 0) title_text.clear();
    // A block that does not follow the ones before it (an earlier block of this read was refused
    // or lost) would put the characters in the wrong place: the whole read is then discarded.
    const bool in_order = title_text.size() == block * kTitleBlockChars;
    if (in_order) {
        for (int i = 0; i < kTitleBlockChars; ++i) {
            const std::size_t at = kFirstCodeByte + 2 * static_cast<std::size_t>(i);
            title_text.append(title_code_char(static_cast<std::uint16_t>(reply_frame[at] << 8 | reply_frame[at + 1])));
        }
    } else {
        title_text.clear();
    }
    if (block != kTitleBlocks - 1) return;
    if (in_order) CName->setText(title_text);
    SetTitle->setEnabled(true);
}

void TFKR58::COMM_MODEClick()
{
    send_setting(*this, {kWrite, kCommunication, 0x01, low_byte(COMM_MODE->itemIndex())});
}

void TFKR58::COMM_ID_SET_BTNClick()
{
    // The number shown in COMM_ID; the frames keep carrying IDUpDown's ID.
    send_setting(*this, {kWrite, kCommunication, 0x00, low_byte(COMM_ID_UPDN->position())});
}
