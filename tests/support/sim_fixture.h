// Test fixtures with a recording UI port, a per-test temporary folder and the Connect menu
// command; SimFixture adds a fresh simulated console behind the link, connected as the Connect
// menu command leaves it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "sim/sim_adapter.h"
#include "tests/support/recording_ui.h"

namespace zemlo::testing {

class LinkFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the Connect menu command: ConnectAdapter into g_connected.
  int Connect() { return g_connected = ConnectAdapter(); }
  // Leaves the link closed and g_connected 0, as before the first Connect.
  void Disconnect();
  // A path in a per-test temporary folder, removed afterwards.
  std::string TempPath(const std::string& name) { return (tempDir_ / name).string(); }
  RecordingUi& ui() { return ui_; }
  // The one message shown so far; fails the test unless exactly one was.
  RecordedMessage OnlyMessage();

 private:
  RecordingUi ui_;
  std::filesystem::path tempDir_;
};

class SimFixture : public LinkFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh console, UI and temporary folder, as a new test would have; for table rows.
  void Restart() {
    TearDown();
    SetUp();
  }

  // The bytes the client wrote since the last call (the console quiesced first).
  std::vector<uint8_t> Sent();
  sim::SimAdapter& adapter() { return *adapter_; }
  sim::ConsoleModel& model();
  sim::Faults& faults() { return adapter_->faults(); }

 private:
  std::unique_ptr<sim::SimAdapter> adapter_;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
// `command`, then each field big-endian.
std::vector<uint8_t> Wire(uint8_t command, std::initializer_list<uint32_t> fields);
// A recognisable pattern; zero bytes mean nothing to the console should a broken exchange leave
// it reading commands.
std::vector<uint8_t> Pattern(size_t size, bool zeros = false);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace zemlo::testing
