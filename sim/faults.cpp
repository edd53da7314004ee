#include "sim/faults.h"

namespace zemlo::sim {
namespace {

bool TakeOne(int& counter) {
  if (counter <= 0) return false;
  --counter;
  return true;
}

// As TakeOne, once `skip` armed occasions have passed untouched.
bool TakeOneAfter(int& counter, int& skip) {
  if (counter <= 0) return false;
  if (skip > 0) {
    --skip;
    return false;
  }
  --counter;
  return true;
}

}  // namespace

void Faults::ShortenNextPackets(int count, size_t keepBytes) {
  std::lock_guard lock(mutex_);
  shortPackets_ = count;
  shortKeep_ = keepBytes;
}

void Faults::DelayNextPackets(int count, uint32_t delayMs, int skip) {
  std::lock_guard lock(mutex_);
  delayedPackets_ = count;
  delayMs_ = delayMs;
  delaySkip_ = skip;
}

std::optional<uint32_t> Faults::TakePacketDelay() {
  std::lock_guard lock(mutex_);
  if (!TakeOneAfter(delayedPackets_, delaySkip_)) return std::nullopt;
  return delayMs_;
}

void Faults::HoldNextPacket(int skip) {
  std::lock_guard lock(mutex_);
  holdNext_ = true;
  holdSkip_ = skip;
}

void Faults::ReleaseHeldPacket() {
  std::lock_guard lock(mutex_);
  holdNext_ = holding_ = false;
}

bool Faults::TakeHold() {
  std::lock_guard lock(mutex_);
  if (!holdNext_ || holdSkip_-- > 0) return false;
  holdNext_ = false;
  holding_ = true;
  return true;
}

bool Faults::Holding() {
  std::lock_guard lock(mutex_);
  return holding_;
}

void Faults::CorruptNextChecksums(int count) {
  std::lock_guard lock(mutex_);
  corruptChecksums_ = count;
}

void Faults::WrongNextReplies(uint8_t byte, int count) {
  std::lock_guard lock(mutex_);
  wrongReplies_ = count;
  wrongReplyByte_ = byte;
}

void Faults::SuppressNextReplies(int count) {
  std::lock_guard lock(mutex_);
  suppressedReplies_ = count;
}

void Faults::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

void Faults::FailNextReads(int count, int skip) {
  std::lock_guard lock(mutex_);
  failedReads_ = count;
  readSkip_ = skip;
}

void Faults::FailNextWrites(int count, int skip) {
  std::lock_guard lock(mutex_);
  failedWrites_ = count;
  writeSkip_ = skip;
}

void Faults::ShortenNextWrites(int count, int skip) {
  std::lock_guard lock(mutex_);
  shortWrites_ = count;
  shortWriteSkip_ = skip;
}

void Faults::DropConnection() {
  std::lock_guard lock(mutex_);
  dropped_ = true;
}

void Faults::FailConnectStep(ConnectStep step) {
  std::lock_guard lock(mutex_);
  connectFailure_ = step;
}

void Faults::Clear() {
  std::lock_guard lock(mutex_);
  shortPackets_ = corruptChecksums_ = wrongReplies_ = suppressedReplies_ = 0;
  delayedPackets_ = delaySkip_ = 0;
  failedReads_ = failedWrites_ = shortWrites_ = 0;
  readSkip_ = writeSkip_ = shortWriteSkip_ = 0;
  silent_ = dropped_ = false;
  connectFailure_.reset();
  holdNext_ = holding_ = false;
}

std::optional<size_t> Faults::TakePacketShortening() {
  std::lock_guard lock(mutex_);
  if (!TakeOne(shortPackets_)) return std::nullopt;
  return shortKeep_;
}

bool Faults::TakeChecksumCorruption() {
  std::lock_guard lock(mutex_);
  return TakeOne(corruptChecksums_);
}

std::optional<uint8_t> Faults::FilterReply(uint8_t byte) {
  std::lock_guard lock(mutex_);
  if (TakeOne(suppressedReplies_)) return std::nullopt;
  if (TakeOne(wrongReplies_)) return wrongReplyByte_;
  return byte;
}

bool Faults::Silent() {
  std::lock_guard lock(mutex_);
  return silent_;
}

bool Faults::ConsoleFaultsArmed() {
  std::lock_guard lock(mutex_);
  return shortPackets_ > 0 || corruptChecksums_ > 0 || delayedPackets_ > 0 || holdNext_ ||
         holding_ || wrongReplies_ > 0 || suppressedReplies_ > 0 || silent_;
}

bool Faults::TakeReadFailure() {
  std::lock_guard lock(mutex_);
  return TakeOneAfter(failedReads_, readSkip_);
}

bool Faults::TakeWriteFailure() {
  std::lock_guard lock(mutex_);
  return TakeOneAfter(failedWrites_, writeSkip_);
}

bool Faults::TakeWriteShortening() {
  std::lock_guard lock(mutex_);
  return TakeOneAfter(shortWrites_, shortWriteSkip_);
}

bool Faults::Dropped() {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void Faults::ClearDropped() {
  std::lock_guard lock(mutex_);
  dropped_ = false;
}

bool Faults::TakeConnectFailure(ConnectStep step) {
  std::lock_guard lock(mutex_);
  if (connectFailure_ != step) return false;
  connectFailure_.reset();
  return true;
}

}  // namespace zemlo::sim
