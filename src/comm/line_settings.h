#pragma once
// Translation of the serial component's line properties into termios attributes. Pure functions on
// a termios structure, so that the mapping can be checked without a serial device.

#include "comm/comm.h"

#include <termios.h>

namespace line_settings {

// The Bxxx constant for a rate that termios names, or 0 for any other rate.
speed_t standard_speed(long rate);

// Raw byte transfer: no echo, no canonical input, no signals, no CR/LF or other translation,
// receiver on, modem control lines ignored for open and read.
void make_raw(termios& attributes);

// CS5..CS8. termios has no 4-bit characters: cbs4 raises ECommError.
void set_byte_size(termios& attributes, TCommByteSize size);

// Odd/even through PARODD, mark/space through CMSPAR; input parity checking only with a parity bit.
void set_parity(termios& attributes, TCommParityBits parity);

// termios knows one or two stop bits; 1.5 stop bits (used with 5 data bits) is sent as two.
void set_stop_bits(termios& attributes, TCommStopBits stop_bits);

// RTS/CTS through CRTSCTS, XON/XOFF both ways with XON 17 and XOFF 19. DTR/DSR handshaking has no
// termios equivalent and is accepted without effect.
void set_flow_control(termios& attributes, TCommFlowControls flow);

// Line events of a change of the modem input lines (TIOCM_* bits), limited to `mask`:
// CTS -> evCts, DSR -> evDsr, carrier -> evRlsd, ring -> evRing.
TCommEvents modem_line_changes(int before, int after, TCommEvents mask);

} // namespace line_settings
