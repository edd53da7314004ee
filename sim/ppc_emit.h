// Builds PowerPC machine code word by word, with labels for branch targets, so that the simulated
// game can be written as the instructions a compiler would emit.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace zemlo::sim {

class PpcEmitter {
 public:
  using Label = int;

  explicit PpcEmitter(uint32_t origin) : origin_(origin) {}

  uint32_t Here() const { return origin_ + static_cast<uint32_t>(words_.size()) * 4; }
  Label NewLabel() {
    labels_.push_back(0);
    return static_cast<Label>(labels_.size() - 1);
  }
  void Bind(Label label) { labels_[label] = Here(); }
  // Pads with zero words up to `address`, where the next routine starts.
  // A routine that outgrew its room would move the next one away from its documented address.
  void At(uint32_t address) {
    if (Here() > address) std::abort();
    while (Here() < address) words_.push_back(0);
  }

  // Integer.
  void addi(int d, int a, int16_t imm) { DForm(14, d, a, static_cast<uint16_t>(imm)); }
  void addis(int d, int a, uint16_t imm) { DForm(15, d, a, imm); }
  void li(int d, int16_t imm) { addi(d, 0, imm); }
  void lis(int d, uint16_t imm) { addis(d, 0, imm); }
  void ori(int a, int s, uint16_t imm) { DForm(24, s, a, imm); }
  void mulli(int d, int a, int16_t imm) { DForm(7, d, a, static_cast<uint16_t>(imm)); }
  void cmpwi(int a, int16_t imm) { DForm(11, 0, a, static_cast<uint16_t>(imm)); }
  void cmplwi(int a, uint16_t imm) { DForm(10, 0, a, imm); }
  void cmpw(int a, int b) { XForm(0, a, b, 0, false); }
  void add(int d, int a, int b) { XForm(d, a, b, 266, false); }
  void subf(int d, int a, int b, bool record = false) { XForm(d, a, b, 40, record); }
  void mullw(int d, int a, int b) { XForm(d, a, b, 235, false); }
  void divwu(int d, int a, int b) { XForm(d, a, b, 459, false); }
  void or_(int a, int s, int b, bool record = false) { XForm(s, a, b, 444, record); }
  void mr(int a, int s) { or_(a, s, s); }
  void rlwinm(int a, int s, int sh, int mb, int me) {
    Emit(21u << 26 | R(s) << 21 | R(a) << 16 | R(sh) << 11 | R(mb) << 6 | R(me) << 1);
  }
  void mflr(int d) { Spr(d, 8, 339); }
  void mtlr(int s) { Spr(s, 8, 467); }

  // Loads and stores.
  void lwz(int d, int16_t offset, int a) { DForm(32, d, a, static_cast<uint16_t>(offset)); }
  void lhz(int d, int16_t offset, int a) { DForm(40, d, a, static_cast<uint16_t>(offset)); }
  void stw(int s, int16_t offset, int a) { DForm(36, s, a, static_cast<uint16_t>(offset)); }
  void stwu(int s, int16_t offset, int a) { DForm(37, s, a, static_cast<uint16_t>(offset)); }
  void sth(int s, int16_t offset, int a) { DForm(44, s, a, static_cast<uint16_t>(offset)); }
  void stb(int s, int16_t offset, int a) { DForm(38, s, a, static_cast<uint16_t>(offset)); }
  void lfs(int d, int16_t offset, int a) { DForm(48, d, a, static_cast<uint16_t>(offset)); }
  void lfd(int d, int16_t offset, int a) { DForm(50, d, a, static_cast<uint16_t>(offset)); }
  void stfs(int s, int16_t offset, int a) { DForm(52, s, a, static_cast<uint16_t>(offset)); }

  // Floating point.
  void fsub(int d, int a, int b) {
    Emit(63u << 26 | R(d) << 21 | R(a) << 16 | R(b) << 11 | 20u << 1);
  }
  void fdivs(int d, int a, int b) {
    Emit(59u << 26 | R(d) << 21 | R(a) << 16 | R(b) << 11 | 18u << 1);
  }
  void fmuls(int d, int a, int c) {
    Emit(59u << 26 | R(d) << 21 | R(a) << 16 | R(c) << 6 | 25u << 1);
  }

  // Branches. Conditions test CR0.
  void b(Label target) { Branch(18u << 26, target, false); }
  void bl(Label target) { Branch(18u << 26 | 1u, target, false); }
  void beq(Label target) { Branch(16u << 26 | 12u << 21 | 2u << 16, target, true); }
  void bne(Label target) { Branch(16u << 26 | 4u << 21 | 2u << 16, target, true); }
  void ble(Label target) { Branch(16u << 26 | 4u << 21 | 1u << 16, target, true); }
  void blr() { Emit(0x4E800020u); }
  void bnelr() { Emit(0x4C820020u); }

  void Emit(uint32_t word) { words_.push_back(word); }

  // Writes the code into `memory` (main memory from 0x80000000 on) with every branch resolved.
  void WriteTo(std::span<uint8_t> memory) const {
    std::vector<uint32_t> words = words_;
    for (const Fixup& fixup : fixups_) {
      const uint32_t offset = labels_[fixup.label] - (origin_ + fixup.index * 4);
      words[fixup.index] |= offset & (fixup.conditional ? 0xFFFCu : 0x03FFFFFCu);
    }
    uint8_t* out = memory.data() + (origin_ - 0x80000000u);
    for (uint32_t word : words) {
      for (int shift = 24; shift >= 0; shift -= 8) *out++ = static_cast<uint8_t>(word >> shift);
    }
  }

 private:
  struct Fixup {
    uint32_t index;
    Label label;
    bool conditional;
  };
  static uint32_t R(int value) { return static_cast<uint32_t>(value) & 31u; }
  void DForm(uint32_t op, int d, int a, uint16_t imm) {
    Emit(op << 26 | R(d) << 21 | R(a) << 16 | imm);
  }
  void XForm(int d, int a, int b, uint32_t xo, bool record) {
    Emit(31u << 26 | R(d) << 21 | R(a) << 16 | R(b) << 11 | xo << 1 | (record ? 1u : 0u));
  }
  void Spr(int reg, uint32_t spr, uint32_t xo) {
    Emit(31u << 26 | R(reg) << 21 | (spr & 31u) << 16 | (spr >> 5) << 11 | xo << 1);
  }
  void Branch(uint32_t word, Label target, bool conditional) {
    fixups_.push_back({static_cast<uint32_t>(words_.size()), target, conditional});
    Emit(word);
  }

  uint32_t origin_;
  std::vector<uint32_t> words_;
  std::vector<uint32_t> labels_;
  std::vector<Fixup> fixups_;
};

}  // namespace zemlo::sim
