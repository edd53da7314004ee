#include "tests/support/sim_fixture.h"

#include <fstream>
#include <iterator>

#include "link/bytes.h"
#include "link/link.h"
#include "tests/support/cli_runner.h"

namespace zemlo::testing {

void LinkFixture::SetUp() {
  InstallUi(&ui_);
  tempDir_ = UniqueTempPath("-test");
  std::filesystem::create_directories(tempDir_);
}

void LinkFixture::TearDown() {
  Disconnect();
  InstallDriver(nullptr);
  InstallUi(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(tempDir_, ignored);
}

void LinkFixture::Disconnect() {
  if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) ActiveDriver()->FT_Close(handle);
  g_connected = 0;
}

RecordedMessage LinkFixture::OnlyMessage() {
  const auto messages = ui_.messages();
  EXPECT_EQ(messages.size(), 1u);
  return messages.empty() ? RecordedMessage{} : messages.front();
}

void SimFixture::SetUp() {
  LinkFixture::SetUp();
  adapter_ = std::make_unique<sim::SimAdapter>();
  InstallDriver(adapter_->MakeDriver());
  ASSERT_EQ(Connect(), 1);
  adapter_->TakeSent();
  adapter_->TakeTimeoutHistory();
  ui().Clear();
}

void SimFixture::TearDown() {
  LinkFixture::TearDown();
  adapter_.reset();
}

std::vector<uint8_t> SimFixture::Sent() {
  adapter_->Quiesce();
  return adapter_->TakeSent();
}

sim::ConsoleModel& SimFixture::model() {
  adapter_->Quiesce();
  return adapter_->model();
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return {values.begin(), values.end()};
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Wire(uint8_t command, std::initializer_list<uint32_t> fields) {
  std::vector<uint8_t> bytes{command};
  for (uint32_t field : fields) {
    bytes.resize(bytes.size() + 4);
    WriteBE32(&bytes[bytes.size() - 4], field);
  }
  return bytes;
}

std::vector<uint8_t> Pattern(size_t size, bool zeros) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size && !zeros; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

}  // namespace zemlo::testing
