#include "gdbstub/rsp_codec.h"

#include <cstdio>

namespace zemlo::gdb {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FramePacket(std::string_view payload) {
  std::string out = "$";
  uint8_t sum = 0;
  for (char c : payload) {
    if (c == '#' || c == '$' || c == '}' || c == '*') {
      out += '}';
      sum += static_cast<uint8_t>('}');
      c = static_cast<char>(c ^ 0x20);
    }
    out += c;
    sum += static_cast<uint8_t>(c);
  }
  out += '#';
  out += kDigits[sum >> 4];
  out += kDigits[sum & 15];
  return out;
}

void RspReader::Feed(char byte) {
  switch (state_) {
    case State::Idle:
      if (byte == '$') {
        state_ = State::Payload;
        payload_.clear();
        sum_ = 0;
      } else if (byte == kInterrupt) {
        ready_.push_back({RspEvent::Interrupt, {}});
      } else if (byte == '+') {
        ready_.push_back({RspEvent::Ack, {}});
      } else if (byte == '-') {
        ready_.push_back({RspEvent::Nack, {}});
      }
      return;
    case State::Payload:
      if (byte == '#') {
        state_ = State::Check1;
        return;
      }
      sum_ += static_cast<uint8_t>(byte);
      if (byte == '}') {
        state_ = State::Escape;
      } else {
        payload_ += byte;
      }
      return;
    case State::Escape:
      sum_ += static_cast<uint8_t>(byte);
      payload_ += static_cast<char>(byte ^ 0x20);
      state_ = State::Payload;
      return;
    case State::Check1:
      check_[0] = byte;
      state_ = State::Check2;
      return;
    case State::Check2: {
      state_ = State::Idle;
      const int high = HexValue(check_[0]), low = HexValue(byte);
      const bool good = high >= 0 && low >= 0 && ((high << 4) | low) == sum_;
      ready_.push_back({good ? RspEvent::Packet : RspEvent::BadPacket, payload_});
      return;
    }
  }
}

std::optional<RspEvent> RspReader::Next() {
  if (ready_.empty()) return std::nullopt;
  RspEvent event = std::move(ready_.front());
  ready_.erase(ready_.begin());
  return event;
}

std::string ToHex(const uint8_t* bytes, size_t count) {
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string HexWord(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view text) {
  if (text.size() % 2) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]), low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::optional<uint32_t> ParseHex(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

}  // namespace zemlo::gdb
