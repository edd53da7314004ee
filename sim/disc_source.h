// Where the simulated drive's bytes come from: a generated disc (deterministic, produced on the fly
// so that even an 8.5 GB disc costs no memory) or an image file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/extract_model.h"

namespace zemlo::disc {
class SimulatedGameCubeDisc;
class SimulatedWiiDisc;
}  // namespace zemlo::disc

namespace zemlo::sim {

class DiscSource {
 public:
  virtual ~DiscSource() = default;
  // Fills `out` with the disc's bytes [offset, offset + count) and returns their byte sum.
  virtual uint32_t Read(uint64_t offset, uint8_t* out, uint32_t count) = 0;
};

// The generated disc of one type and size, laid out as real ones are (see
// disc/simulated_gamecube.h and disc/simulated_wii.h).
class GeneratedDisc final : public DiscSource {
 public:
  // `abandoned` lets a long set-up give up once nobody takes the bytes (see SimulatedWiiDisc).
  GeneratedDisc(DiscType type, uint64_t size, std::function<bool()> abandoned = {});
  ~GeneratedDisc() override;
  uint32_t Read(uint64_t offset, uint8_t* out, uint32_t count) override;

 private:
  std::unique_ptr<disc::SimulatedGameCubeDisc> gamecube_;
  std::unique_ptr<disc::SimulatedWiiDisc> wii_;
};

// An image file read at the requested offsets; zeros where it ends early.
class ImageDisc final : public DiscSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<ImageDisc> Open(const std::string& path);
  uint32_t Read(uint64_t offset, uint8_t* out, uint32_t count) override;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

// The bytes a generated disc of `size` bytes holds at [offset, offset + count), for checking
// images in tests.
std::vector<uint8_t> GeneratedDiscBytes(DiscType type, uint64_t size, uint64_t offset,
                                        uint32_t count);

// One NAND page: 2,048 data bytes, followed in 2,112 mode by the 64-byte spare area.
void FillNandPage(uint32_t page, uint32_t pageSize, uint8_t* out);

// The contents of the low-level regions, by their dump command byte (SRAM 64 bytes, BIOS 2 MiB,
// drive ROM 65,535, IRAM 32,768, ERAM 262,144); empty for any other byte.
std::vector<uint8_t> RegionBytes(uint8_t command);

}  // namespace zemlo::sim
