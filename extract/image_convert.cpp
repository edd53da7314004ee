#include "extract/image_convert.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "disc/disc_header.h"
#include "disc/wii_keys.h"
#include "link/bytes.h"

namespace zemlo {
namespace {

bool IsWiiDisc(disc::ImageReader& reader) {
  uint8_t header[disc::kBootHeaderSize] = {};
  return reader.size() >= sizeof header && reader.Read(0, header, sizeof header) &&
         ReadBE32(&header[disc::BootHeaderField::kWiiMagic]) == disc::kWiiMagic;
}

}  // namespace

ConvertResult ConvertImage(const std::string& in, const disc::ImageTarget& out,
                           const std::function<void(uint64_t done, uint64_t total)>& progress) {
  ConvertResult result;
  std::unique_ptr<disc::ImageReader> reader = disc::OpenImage(in, result.error);
  if (!reader) return result;
  result.discSize = reader->size();
  std::error_code ignored;
  if (std::filesystem::equivalent(in, out.path, ignored)) {
    result.error = "the output is the input";
    return result;
  }
  if (out.format == disc::ImageFormat::Rvz && IsWiiDisc(*reader)) {
    // Refused before anything is written: RVZ stores the partitions decrypted.
    if (!out.rvz.commonKey) {
      result.error = "an RVZ image of a Wii disc needs the console's keys file (--keys FILE)";
      return result;
    }
    const disc::DiscReader read = [&reader](uint64_t offset, uint8_t* bytes, size_t count) {
      return offset + count <= reader->size() && reader->Read(offset, bytes, count);
    };
    for (const disc::WiiPartitionEntry& partition : disc::ReadWiiPartitionTable(read)) {
      if (!disc::CommonKeyOpens(read, partition.offset, *out.rvz.commonKey)) {
        result.error = "the keys file's common key does not open this Wii disc";
        return result;
      }
    }
  }
  std::unique_ptr<disc::ImageWriter> writer = disc::CreateImageWriter(out);
  if (!writer) {
    result.error = "cannot create " + out.path;
    return result;
  }
  // A conversion that fails leaves nothing behind: the input is still there to try again.
  const auto fail = [&](std::string error) {
    writer->Abandon();
    for (const std::string& file : writer->Files()) std::filesystem::remove(file, ignored);
    result.error = std::move(error);
    return result;
  };
  std::vector<uint8_t> buffer(1 << 20);
  for (uint64_t at = 0; at < reader->size(); at += buffer.size()) {
    const size_t part = static_cast<size_t>(std::min<uint64_t>(buffer.size(), reader->size() - at));
    if (!reader->Read(at, buffer.data(), part)) {
      return fail("cannot read " + in + " at byte " + std::to_string(at));
    }
    if (!writer->Write(buffer.data(), part)) return fail("cannot write " + out.path);
    if (progress) progress(at + part, reader->size());
  }
  if (!writer->Finish()) return fail("cannot complete " + out.path);
  result.files = writer->Files();
  result.ok = true;
  return result;
}

}  // namespace zemlo
