// The image files a disc is kept as: one ISO, an ISO split into parts that fit FAT32
// (NAME.part0.iso, NAME.part1.iso, ...), or RVZ. Writers take the disc's bytes once, in order;
// readers give any range back as plain disc bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/wii_crypto.h"

namespace zemlo::disc {

enum class ImageFormat { Iso, Split, Rvz };

// The largest multiple of 32 KiB below FAT32's 4 GiB file size limit.
inline constexpr uint64_t kDefaultSplitSize = 4'294'934'528ull;

struct RvzSettings {
  int level = 5;                   // zstd's
  uint32_t chunkSize = 128 << 10;  // a power of two from 32 KiB to 2 MiB, or a multiple of 2 MiB
  // Opens the title keys of a Wii disc's partitions, which RVZ stores decrypted; a Wii disc is
  // refused without it.
  std::optional<AesKey> commonKey;
};

struct ImageTarget {
  ImageFormat format = ImageFormat::Iso;
  std::string path;  // as the user gave it; split parts take their names from it
  uint64_t splitSize = kDefaultSplitSize;
  RvzSettings rvz;
};

// RVZ for a name ending in ".rvz" (any case), ISO otherwise.
ImageFormat FormatFromPath(const std::string& path);
// "game.iso" gives "game.part3.iso" for part 3; a name without ".iso" keeps all of it.
std::string SplitPartPath(const std::string& path, unsigned part);
// The chunk sizes an RVZ may have.
bool ValidRvzChunkSize(uint64_t size);

class ImageWriter {
 public:
  virtual ~ImageWriter() = default;
  // False when the bytes could not be stored.
  virtual bool Write(const uint8_t* data, size_t count) = 0;
  // After the last byte: completes the image. False when that failed.
  virtual bool Finish() = 0;
  // For a dump that stops short: leaves no file that looks like a whole image (an RVZ is
  // removed; ISO parts stay, as an ISO cut short does, their size telling what they hold).
  virtual void Abandon() = 0;
  // The files written so far, in order.
  virtual std::vector<std::string> Files() const = 0;
  // After a failed Write: true when the disc was the reason, not the file (a Wii partition that the
  // common key does not open, or no common key for a Wii disc).
  virtual bool Refused() const { return false; }
};

// Null when the (first) file cannot be created.
std::unique_ptr<ImageWriter> CreateImageWriter(const ImageTarget& target);

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual uint64_t size() const = 0;
  // False when the image cannot give these bytes (short, damaged).
  virtual bool Read(uint64_t offset, uint8_t* out, size_t count) = 0;
  virtual ImageFormat format() const = 0;
};

// Opens an ISO, the first part of a split ISO (NAME.part0.iso, whose later parts are found
// beside it) or an RVZ, by its contents. Null with `error` set when it is none of them.
std::unique_ptr<ImageReader> OpenImage(const std::string& path, std::string& error);

}  // namespace zemlo::disc
