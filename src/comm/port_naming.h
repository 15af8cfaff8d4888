#pragma once
// Which device file stands for serial port N (1..9).

#include <QString>

// The folder that holds the port links: camera-adjust/ports under the user's configuration
// directory ($XDG_CONFIG_HOME or ~/.config).
QString port_links_folder();

// The link COM<N> in that folder.
QString port_link_path(int port);

// Port N opens the link COM<N> when it is present (even dangling, so that the open error shows),
// otherwise /dev/ttyUSB<N-1> when that exists, otherwise /dev/ttyS<N-1>.
QString port_device_path(int port);
