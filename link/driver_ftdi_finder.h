// Finds the adapter among the FTDI devices on the bus and opens it through libftdi1. Devices
// that cannot be read (another maker's cable, a node without access rights) are skipped rather
// than ending the search; when the adapter is not opened, the reason says what the user can do.
#pragma once

#include <string>

struct ftdi_context;

namespace zemlo {

struct FtdiOpenResult {
  bool opened = false;
  std::string failure;  // why not, for the connection message's detail
};

// Opens the device whose serial number is `serial` on `context` (created by ftdi_new).
FtdiOpenResult OpenFtdiBySerial(ftdi_context* context, const std::string& serial);

// Where the device node of a USB device lives; tests point it elsewhere.
void SetUsbDeviceNodeRoot(std::string root);

}  // namespace zemlo
