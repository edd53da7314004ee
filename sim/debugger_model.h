// Console state behind the registers, breakpoints and screen commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/game_model.h"

namespace zemlo::sim {

struct DebuggerModel {
  static constexpr int kRegisterCount = 40;
  static constexpr uint32_t kFrameLineBytes = 1280;  // the grab always sends lines this long
  static constexpr uint32_t kPacketSize = 0xF800;

  DebuggerModel();

  // Every breakpoint word received, in order; the last one is the breakpoint in force.
  std::vector<uint32_t> dabrWords;
  std::vector<uint32_t> iabrWords;

  // The block the hook saved when the game stopped: CR, XER, CTR, DSISR, DAR, SRR0, SRR1,
  // R0..R31, LR.
  std::array<uint32_t, kRegisterCount> registers{};

  // The grab header: 1 selects 538 lines, anything else 448; the width goes out as sent here.
  uint8_t videoMode = 0;
  uint16_t frameWidth = 640;
  // The frame buffer as the console holds it, lines of frameWidth * 2 bytes. Empty: the test
  // pattern for the current width and mode.
  std::vector<uint8_t> frameBuffer;

  // Every answer byte the client sent after a full packet of a grab, in order.
  std::vector<uint8_t> grabAnswers;

  // Misbehaviour of the grab for tests: how many of the 3 header bytes go out before the console
  // stops answering, and how many bytes of the final part it sends (all when unset).
  int grabHeaderBytes = 3;
  std::optional<size_t> grabFinalPartKeep;

  // What the console-side program's breakpoint handler does before it freezes the game: the
  // processor's context goes into the block the register command reports.
  void SaveContext(const BreakpointHit& hit);

  uint32_t Lines() const { return videoMode == 1 ? 538 : 448; }
  // The bytes a grab streams: the first Lines() * 1280 bytes of the frame buffer, padded with
  // black when the buffer is shorter.
  std::vector<uint8_t> GrabBytes() const;
};

// Colour bars over the top three quarters and a grey ramp, dark to light from left to right,
// below them, as Y Cb Y Cr groups with lines of width * 2 bytes.
std::vector<uint8_t> TestPattern(uint32_t width, uint32_t lines);

// The colours of the bars, left to right, as red, green, blue.
inline constexpr std::array<std::array<uint8_t, 3>, 8> kTestBarColours{{
    {255, 255, 255},  // white
    {255, 255, 0},    // yellow
    {0, 255, 255},    // cyan
    {0, 255, 0},      // green
    {255, 0, 255},    // magenta
    {255, 0, 0},      // red
    {0, 0, 255},      // blue
    {0, 0, 0},        // black
}};

}  // namespace zemlo::sim
