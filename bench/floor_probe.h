#pragma once
// The floor under the turnaround on this machine: the same hops as an exchange with no tool in
// them. A "camera" thread writes 18 bytes into a pseudo-terminal; a "watcher" thread wakes in
// poll() on the other side and wakes a "GUI" thread through an eventfd; that one reads the 18
// bytes and writes 18 back; the camera thread wakes in poll() and reads them. The time from the
// camera's write to its read is what an exchange costs without any of the tool's own work.

#include <vector>

// Round trips in ms; with `rest_ms` > 0 the threads sleep that long between round trips, as they
// do while a paced answer is on its way.
std::vector<double> pty_round_trips(int count, double rest_ms);
