#include "comm/line_settings.h"

#include <sys/ioctl.h>

#include <iterator>

namespace line_settings {
namespace {

struct NamedSpeed {
    long rate;
    speed_t constant;
};

constexpr NamedSpeed kStandardSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kCharacterSizes[] = {0, CS5, CS6, CS7, CS8}; // indexed by TCommByteSize

constexpr cc_t kXon = 17;
constexpr cc_t kXoff = 19;

} // namespace

speed_t standard_speed(long rate)
{
    for (const NamedSpeed& speed : kStandardSpeeds)
        if (speed.rate == rate) return speed.constant;
    return 0;
}

void make_raw(termios& attributes)
{
    cfmakeraw(&attributes);
    attributes.c_cflag |= CLOCAL | CREAD;
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
}

void set_byte_size(termios& attributes, TCommByteSize size)
{
    if (size == cbs4 || size >= std::size(kCharacterSizes))
        throw ECommError("4 data bits per character are not supported by this serial device.");
    attributes.c_cflag = (attributes.c_cflag & ~CSIZE) | kCharacterSizes[size];
}

void set_parity(termios& attributes, TCommParityBits parity)
{
    attributes.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case cpbNone: break;
    case cpbOdd: attributes.c_cflag |= PARENB | PARODD; break;
    case cpbEven: attributes.c_cflag |= PARENB; break;
    // With CMSPAR the parity bit is constant: PARODD makes it 1 (mark), otherwise 0 (space).
    case cpbMark: attributes.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case cpbSpace: attributes.c_cflag |= PARENB | CMSPAR; break;
    }
    if (attributes.c_cflag & PARENB)
        attributes.c_iflag |= INPCK;
    else
        attributes.c_iflag &= ~INPCK;
}

void set_stop_bits(termios& attributes, TCommStopBits stop_bits)
{
    if (stop_bits == csb1)
        attributes.c_cflag &= ~CSTOPB;
    else
        attributes.c_cflag |= CSTOPB; // csb15 and csb2
}

void set_flow_control(termios& attributes, TCommFlowControls flow)
{
    attributes.c_cflag &= ~CRTSCTS;
    attributes.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (flow & flow_bit(cfcRtsCts)) attributes.c_cflag |= CRTSCTS;
    if (flow & flow_bit(cfcXonXoff)) attributes.c_iflag |= IXON | IXOFF;
    attributes.c_cc[VSTART] = kXon;
    attributes.c_cc[VSTOP] = kXoff;
}

TCommEvents modem_line_changes(int before, int after, TCommEvents mask)
{
    const int changed = before ^ after;
    TCommEvents events = 0;
    if (changed & TIOCM_CTS) events |= event_bit(evCts);
    if (changed & TIOCM_DSR) events |= event_bit(evDsr);
    if (changed & TIOCM_CD) events |= event_bit(evRlsd);
    if (changed & TIOCM_RI) events |= event_bit(evRing);
    return events & mask;
}

} // namespace line_settings
