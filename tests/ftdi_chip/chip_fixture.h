// A test with the modelled bus behind the real libftdi1 and the ftdi driver installed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "link/driver_ftdi.h"
#include "link/driver_ftdi_finder.h"
#include "link/link.h"
#include "tests/ftdi_chip/usb_bus.h"
#include "tests/support/recording_ui.h"

namespace zemlo::testing {

class ChipFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    usbdouble::ClearBus();
    InstallUi(&ui_);
    InstallDriver(MakeFtdiDriver());
    nodes_ = std::filesystem::temp_directory_path() /
             ("zemlo-usb-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(nodes_ / "001");
    SetUsbDeviceNodeRoot(nodes_.string());
  }
  void TearDown() override {
    Disconnect();
    InstallDriver(nullptr);
    InstallUi(nullptr);
    usbdouble::ClearBus();
    chip_.reset();
    EXPECT_EQ(usbdouble::OpenUsbHandles(), 0);
    std::filesystem::remove_all(nodes_);
  }

  usbdouble::Chip& PlugAdapter() {
    chip_ = usbdouble::Plug({.withChip = true});
    return *chip_;
  }
  int Connect() { return g_connected = ConnectAdapter(); }
  void Disconnect() {
    if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) ActiveDriver()->FT_Close(handle);
    g_connected = 0;
  }
  std::string Node(int address) const {
    char tail[16];
    std::snprintf(tail, sizeof tail, "/001/%03d", address);
    return nodes_.string() + tail;
  }
  std::string TempPath(const std::string& name) const { return (nodes_ / name).string(); }

  usbdouble::Chip& chip() { return *chip_; }
  const std::shared_ptr<usbdouble::Chip>& chipHandle() { return chip_; }
  RecordingUi& ui() { return ui_; }

 private:
  RecordingUi ui_;
  std::shared_ptr<usbdouble::Chip> chip_;
  std::filesystem::path nodes_;
};

}  // namespace zemlo::testing
