// A test with the modelled bus behind the real libftdi1 and the ftdi driver installed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "link/driver_ftdi.h"
#include "link/driver_ftdi_finder.h"
#include "link/link.h"
#include "tests/ftdi_chip/usb_bus.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {

class ChipFixture : public LinkFixture {
 protected:
  void SetUp() override {
    usbdouble::ClearBus();
    LinkFixture::SetUp();
    InstallDriver(MakeFtdiDriver());
    std::filesystem::create_directories(TempPath("usb/001"));
    SetUsbDeviceNodeRoot(TempPath("usb"));
  }
  void TearDown() override {
    LinkFixture::TearDown();
    usbdouble::ClearBus();
    chip_.reset();
    EXPECT_EQ(usbdouble::OpenUsbHandles(), 0);
  }

  usbdouble::Chip& PlugAdapter() {
    chip_ = usbdouble::Plug({.withChip = true});
    return *chip_;
  }
  std::string Node(int address) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "usb/001/%03d", address);
    return TempPath(tail);
  }

  usbdouble::Chip& chip() { return *chip_; }
  const std::shared_ptr<usbdouble::Chip>& chipHandle() { return chip_; }

 private:
  std::shared_ptr<usbdouble::Chip> chip_;
};

}  // namespace zemlo::testing
