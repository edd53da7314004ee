#include "sim/game_code.h"

#include "link/bytes.h"
#include "sim/game_model.h"
#include "sim/ppc_emit.h"

namespace zemlo::sim {
namespace {

constexpr uint16_t High(uint32_t address) {
  return static_cast<uint16_t>(address >> 16);
}
constexpr int16_t Low(uint32_t address) {
  return static_cast<int16_t>(address & 0xFFFFu);
}

// Offsets into the game's data block and the variables block.
constexpr int16_t kIntToFloatBias = 0x10;  // double 2^52: the unsigned-to-float trick
constexpr int16_t kSixty = 0x18;           // float 60
constexpr int16_t kHalf = 0x1C;            // float 0.5
constexpr int16_t kFrames = Low(GameModel::kFrameCounter);
constexpr int16_t kTimer = Low(GameModel::kTimer);
constexpr int16_t kHealth = Low(GameModel::kHealth);
constexpr int16_t kPointer = Low(GameModel::kPlayerPointer);
constexpr int16_t kName = Low(GameModel::kLevelName);

// f1 = the unsigned word in r`value`, through a scratch doubleword at 8(r1); r0 and f0 are used.
void ToDouble(PpcEmitter& e, int value, int data) {
  e.lis(0, 0x4330);
  e.stw(0, 8, 1);
  e.stw(value, 12, 1);
  e.lfd(1, 8, 1);
  e.lfd(0, kIntToFloatBias, data);
  e.fsub(1, 1, 0);
}

// r`rest` = r`value` modulo r`divisor`; r`quotient` is used; CR0 tells whether the rest is 0.
void Modulo(PpcEmitter& e, int rest, int value, int divisor, int quotient) {
  e.divwu(quotient, value, divisor);
  e.mullw(quotient, quotient, divisor);
  e.subf(rest, quotient, value, true);
}

void EmitMain(PpcEmitter& e, PpcEmitter::Label wait, PpcEmitter::Label frame,
              PpcEmitter::Label health, PpcEmitter::Label player, PpcEmitter::Label name) {
  e.At(GameCode::kMain);
  e.lis(31, High(GameModel::kFrameCounter));
  e.lis(30, High(GameCode::kData));
  e.li(0, 0);
  e.stw(0, kFrames, 31);
  e.stw(0, kTimer, 31);
  e.li(0, static_cast<int16_t>(GameModel::kHealthFull));
  e.sth(0, kHealth, 31);
  e.li(0, 0);
  e.stw(0, Low(GameCode::kLevelCount), 30);
  e.stw(0, Low(GameCode::kCoinCount), 30);
  e.li(3, 0);
  e.bl(name);
  e.bl(player);
  e.lwz(29, Low(GameCode::kRetraceCount), 30);
  const PpcEmitter::Label loop = e.NewLabel();
  e.Bind(loop);
  e.mr(3, 29);
  e.bl(wait);
  e.mr(29, 3);
  e.bl(frame);
  e.bl(health);
  e.bl(player);
  e.b(loop);
}

void EmitWaitRetrace(PpcEmitter& e, PpcEmitter::Label self) {
  e.At(GameCode::kWaitRetrace);
  e.Bind(self);
  e.lis(4, High(GameCode::kRetraceCount));
  const PpcEmitter::Label spin = e.NewLabel();
  e.Bind(spin);
  e.lwz(5, Low(GameCode::kRetraceCount), 4);
  e.cmpw(5, 3);
  e.beq(spin);
  e.mr(3, 5);
  e.blr();
}

void EmitAdvanceFrame(PpcEmitter& e, PpcEmitter::Label self) {
  e.At(GameCode::kAdvanceFrame);
  e.Bind(self);
  e.stwu(1, -16, 1);
  e.lis(9, High(GameModel::kFrameCounter));
  e.lwz(3, kFrames, 9);
  e.addi(3, 3, 1);
  e.stw(3, kFrames, 9);
  e.lis(10, High(GameCode::kData));
  ToDouble(e, 3, 10);
  e.lfs(2, kSixty, 10);
  e.fdivs(1, 1, 2);
  e.stfs(1, kTimer, 9);
  e.addi(1, 1, 16);
  e.blr();
}

void EmitLowerHealth(PpcEmitter& e, PpcEmitter::Label self) {
  e.At(GameCode::kLowerHealth);
  e.Bind(self);
  e.lis(9, High(GameModel::kFrameCounter));
  e.lwz(3, kFrames, 9);
  e.li(4, static_cast<int16_t>(GameModel::kHealthDropEvery));
  Modulo(e, 5, 3, 4, 6);
  e.bnelr();
  e.lhz(6, kHealth, 9);
  e.cmplwi(6, static_cast<uint16_t>(GameModel::kHealthDrop));
  const PpcEmitter::Label refill = e.NewLabel(), store = e.NewLabel();
  e.ble(refill);
  e.addi(6, 6, -static_cast<int16_t>(GameModel::kHealthDrop));
  e.b(store);
  e.Bind(refill);
  e.li(6, static_cast<int16_t>(GameModel::kHealthFull));
  e.Bind(store);
  e.sth(6, kHealth, 9);
  e.blr();
}

void EmitMovePlayer(PpcEmitter& e, PpcEmitter::Label self, PpcEmitter::Label name) {
  e.At(GameCode::kMovePlayer);
  e.Bind(self);
  e.stwu(1, -16, 1);
  e.mflr(0);
  e.stw(0, 20, 1);
  e.lis(9, High(GameModel::kFrameCounter));
  e.lis(10, High(GameCode::kData));
  e.lwz(3, kFrames, 9);
  e.cmpwi(3, 0);
  const PpcEmitter::Label place = e.NewLabel(), noCoin = e.NewLabel();
  e.beq(place);  // the first frame lays the structure out
  e.li(4, 20);
  Modulo(e, 5, 3, 4, 6);
  e.bne(noCoin);
  e.lwz(6, Low(GameCode::kCoinCount), 10);
  e.addi(6, 6, 1);
  e.stw(6, Low(GameCode::kCoinCount), 10);
  e.Bind(noCoin);
  e.li(4, static_cast<int16_t>(GameModel::kLevelFrames));
  Modulo(e, 5, 3, 4, 6);
  e.bne(place);
  // A level reload: the old structure is left stale, as a freed block is, and the next begins.
  e.lwz(11, kPointer, 9);
  e.lis(12, 0xDDDD);
  e.ori(12, 12, 0xDDDD);
  e.stw(12, 0, 11);
  e.lis(8, High(GameModel::kWorldObject));
  e.lwz(11, static_cast<int16_t>(GameModel::kWorldLevel), 8);
  e.stw(12, static_cast<int16_t>(GameModel::kLevelNumber), 11);
  e.lwz(3, Low(GameCode::kLevelCount), 10);
  e.addi(3, 3, 1);
  e.stw(3, Low(GameCode::kLevelCount), 10);
  e.bl(name);
  e.lis(9, High(GameModel::kFrameCounter));
  e.lis(10, High(GameCode::kData));
  e.Bind(place);
  e.lwz(6, Low(GameCode::kLevelCount), 10);
  e.rlwinm(7, 6, 0, 29, 31);
  e.mulli(7, 7, static_cast<int16_t>(GameModel::kPlayerAreaStride));
  e.lis(11, High(GameModel::kPlayerAreas));
  e.add(11, 11, 7);
  e.stw(11, kPointer, 9);
  e.stw(6, static_cast<int16_t>(GameModel::kPlayerLevel), 11);
  // The level object, in its own area, between the world object and the player.
  e.li(4, 5);
  Modulo(e, 7, 6, 4, 8);
  e.mulli(7, 7, static_cast<int16_t>(GameModel::kLevelAreaStride));
  e.lis(12, High(GameModel::kLevelAreas));
  e.add(12, 12, 7);
  e.lis(8, High(GameModel::kWorldObject));
  e.stw(8, Low(GameModel::kWorldPointer), 9);
  e.stw(12, static_cast<int16_t>(GameModel::kWorldLevel), 8);
  e.stw(6, static_cast<int16_t>(GameModel::kLevelNumber), 12);
  e.stw(11, static_cast<int16_t>(GameModel::kLevelPlayer), 12);
  e.lwz(6, Low(GameCode::kCoinCount), 10);
  e.stw(6, static_cast<int16_t>(GameModel::kPlayerCoins), 11);
  e.lwz(3, kFrames, 9);
  e.li(4, static_cast<int16_t>(GameModel::kLevelFrames));
  Modulo(e, 5, 3, 4, 6);
  ToDouble(e, 5, 10);
  e.lfs(2, kHalf, 10);
  e.fmuls(1, 1, 2);
  e.stfs(1, static_cast<int16_t>(GameModel::kPlayerX), 11);
  e.lwz(0, 20, 1);
  e.mtlr(0);
  e.addi(1, 1, 16);
  e.blr();
}

// r3 = the level count: "WORLD w-s" with w = level / 4 % 100 + 1 and s = level % 4 + 1.
void EmitWriteLevelName(PpcEmitter& e, PpcEmitter::Label self) {
  e.At(GameCode::kWriteLevelName);
  e.Bind(self);
  e.lis(9, High(GameModel::kLevelName));
  e.addi(9, 9, kName);
  e.li(0, 0);
  for (int16_t offset = 0; offset < 16; offset += 4) e.stw(0, offset, 9);
  e.lis(0, 0x574F);  // "WORL"
  e.ori(0, 0, 0x524C);
  e.stw(0, 0, 9);
  e.li(0, 0x4420);  // "D "
  e.sth(0, 4, 9);
  e.addi(10, 9, 6);
  e.rlwinm(4, 3, 30, 2, 31);
  e.li(5, 100);
  Modulo(e, 4, 4, 5, 6);
  e.addi(4, 4, 1);
  e.li(8, 0);  // whether a digit went out yet
  const PpcEmitter::Label digit = e.NewLabel(), write = e.NewLabel(), skip = e.NewLabel();
  e.Bind(digit);
  e.divwu(6, 4, 5);
  e.mullw(7, 6, 5);
  e.subf(4, 7, 4);
  e.cmpwi(5, 1);
  e.beq(write);
  e.or_(0, 6, 8, true);
  e.beq(skip);
  e.Bind(write);
  e.addi(7, 6, '0');
  e.stb(7, 0, 10);
  e.addi(10, 10, 1);
  e.li(8, 1);
  e.Bind(skip);
  e.li(7, 10);
  e.divwu(5, 5, 7);
  e.cmpwi(5, 0);
  e.bne(digit);
  e.li(0, '-');
  e.stb(0, 0, 10);
  e.rlwinm(4, 3, 0, 30, 31);
  e.addi(4, 4, '1');
  e.stb(4, 1, 10);
  e.blr();
}

}  // namespace

void GameCode::Write(std::span<uint8_t> memory) {
  PpcEmitter e(kMain);
  const PpcEmitter::Label wait = e.NewLabel(), frame = e.NewLabel(), health = e.NewLabel(),
                          player = e.NewLabel(), name = e.NewLabel();
  EmitMain(e, wait, frame, health, player, name);
  EmitWaitRetrace(e, wait);
  EmitAdvanceFrame(e, frame);
  EmitLowerHealth(e, health);
  EmitMovePlayer(e, player, name);
  EmitWriteLevelName(e, name);
  e.WriteTo(memory);
  uint8_t* data = memory.data() + (kData - 0x80000000u);
  WriteBE32(data + kIntToFloatBias, 0x43300000u);
  WriteBE32(data + kIntToFloatBias + 4, 0);
  WriteBE32(data + kSixty, 0x42700000u);
  WriteBE32(data + kHalf, 0x3F000000u);
}

}  // namespace zemlo::sim
