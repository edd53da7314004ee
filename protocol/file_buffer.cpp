#include "protocol/file_buffer.h"

#include <limits>
#include <new>

#include "link/file_offset.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {

std::optional<FileBuffer> ReadWholeFile(const std::string& path, const FileBufferTexts& texts) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    ShowFileError(kMsgFopen);
    return std::nullopt;
  }
  // A stream that cannot tell its size (a directory, a pipe) cannot be read whole either.
  const std::optional<uint64_t> fileSize = FileSizeFromStart(file.get());
  if (!fileSize) {
    ShowFileError(texts.readText);
    return std::nullopt;
  }
  const uint64_t size = *fileSize;
  if (texts.sizeLimit && size > *texts.sizeLimit) {
    ShowFileError(texts.tooBigText);
    return std::nullopt;
  }
  // Every size goes on the wire as 32 bits; a larger file can never be sent as it is.
  if (size > std::numeric_limits<uint32_t>::max()) {
    ShowError(kMsgAllocate, kCaptionMallocError);
    return std::nullopt;
  }
  FileBuffer buffer;
  buffer.size = static_cast<uint32_t>(size);
  buffer.data.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (!buffer.data) {
    ShowError(kMsgAllocate, kCaptionMallocError);
    return std::nullopt;
  }
  if (std::fread(buffer.data.get(), 1, size, file.get()) != size) {
    ShowFileError(texts.readText);
    return std::nullopt;
  }
  return buffer;
}

}  // namespace zemlo
