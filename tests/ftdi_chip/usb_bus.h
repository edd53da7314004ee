// The USB bus the libusb test double shows libftdi1: FTDI devices with serial numbers, one of
// them (usually) the adapter with the chip model and the simulated console behind it. Devices
// can refuse access, be held by another program or a kernel driver, lack a serial number, or be
// pulled out mid-run.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tests/ftdi_chip/chip.h"

namespace zemlo::usbdouble {

struct DeviceSpec {
  uint16_t product = 0x6001;
  std::optional<std::string> serial = "ZEMLUSB0";
  int openError = 0;               // what libusb_open answers (e.g. LIBUSB_ERROR_ACCESS)
  bool claimedElsewhere = false;   // another program holds its interface
  bool kernelDriver = false;       // ftdi_sio is bound to it
  bool kernelDriverStays = false;  // and refuses to be detached
  bool withChip = false;           // the adapter: a chip model with the console behind it
};

// Empties the bus. Chips of devices that were plugged stay alive while libftdi holds them.
void ClearBus();
// Adds a device at the next address (from 2, node /001/ADDRESS); returns its chip when it has one.
std::shared_ptr<Chip> Plug(const DeviceSpec& spec);
// Pulls the adapter out: its transfers fail and it leaves the bus.
void Unplug(const std::shared_ptr<Chip>& chip);
// libusb handles open now, across all devices (a leak check).
int OpenUsbHandles();

}  // namespace zemlo::usbdouble
