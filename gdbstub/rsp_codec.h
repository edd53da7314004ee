// The framing of the remote serial protocol gdb speaks: "$payload#checksum" packets with their
// escapes, the acknowledgement bytes, and the interrupt byte 0x03 that may arrive between them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zemlo::gdb {

inline constexpr char kInterrupt = '\x03';

// "$payload#xx" with '#', '$', '}' and '*' escaped.
std::string FramePacket(std::string_view payload);

// What arrives from gdb, one event at a time.
struct RspEvent {
  enum Kind { Packet, BadPacket, Interrupt, Ack, Nack } kind;
  std::string payload;  // a Packet's unescaped payload
};

// Collects bytes until events are complete. Bytes outside a packet other than the interrupt and
// the acknowledgements are line noise and are dropped.
class RspReader {
 public:
  void Feed(char byte);
  std::optional<RspEvent> Next();

 private:
  enum class State { Idle, Payload, Escape, Check1, Check2 } state_ = State::Idle;
  std::string payload_;
  uint8_t sum_ = 0;
  char check_[2] = {};
  std::vector<RspEvent> ready_;
};

// Hex text of bytes, and back; nothing when the text is not whole hex pairs.
std::string ToHex(const uint8_t* bytes, size_t count);
std::string HexWord(uint32_t value);  // 8 digits, most significant first
std::optional<std::vector<uint8_t>> FromHex(std::string_view text);
// A hexadecimal number of up to 8 digits.
std::optional<uint32_t> ParseHex(std::string_view text);

}  // namespace zemlo::gdb
