// Misbehaviour the simulated console (and its adapter) can be told to show, for tests and demos.
// Each fault is armed for a count of occasions and used up as it fires. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

namespace zemlo::sim {

enum class ConnectStep { Open, Reset, Timeouts, PurgeRx, PurgeTx, UsbParameters };

class Faults {
 public:
  // Console to client: the next `count` multi-byte writes (packets, blocks, pages) carry only
  // their first `keepBytes` bytes; the rest is never sent.
  void ShortenNextPackets(int count = 1, size_t keepBytes = 1);
  // The next `count` multi-byte writes go out `delayMs` late, as from a drive retrying a
  // scratched sector, after `skip` such writes have gone out on time.
  void DelayNextPackets(int count, uint32_t delayMs, int skip = 0);
  // The next multi-byte write, after `skip` such writes have gone out, waits until
  // ReleaseHeldPacket (or Clear), so that a test knows the client has not had it before then,
  // however slowly the machine runs.
  void HoldNextPacket(int skip = 0);
  void ReleaseHeldPacket();
  // The next `count` checksummed packets go out with a checksum that does not match.
  void CorruptNextChecksums(int count = 1);
  // The next `count` one-byte replies are `byte` instead of what the console meant to say.
  void WrongNextReplies(uint8_t byte, int count = 1);
  // The next `count` one-byte replies are not sent at all.
  void SuppressNextReplies(int count = 1);
  // The console stops answering anything (true) or comes back (false).
  void SetSilent(bool silent);

  // Client side (the adapter driver): the next `count` reads or writes fail with a driver error.
  // `skip` lets that many reads or writes pass first, to reach a later step of an exchange.
  void FailNextReads(int count = 1, int skip = 0);
  void FailNextWrites(int count = 1, int skip = 0);
  // The next `count` client writes of at least one byte move only half of their bytes (at least
  // one fewer), after `skip` such writes have passed whole.
  void ShortenNextWrites(int count = 1, int skip = 0);
  // The adapter disappears: every driver call on the open handle fails from now on.
  void DropConnection();
  // The next connect attempt fails at this step.
  void FailConnectStep(ConnectStep step);

  void Clear();

  // Used by the console and the adapter to consume armed faults.
  std::optional<size_t> TakePacketShortening();
  bool TakeChecksumCorruption();
  // The delay for the next multi-byte write, when one is armed.
  std::optional<uint32_t> TakePacketDelay();
  // Whether the write about to be made is the held one (then held until released), and whether it
  // still is.
  bool TakeHold();
  bool Holding();
  // Returns what to send for a one-byte reply: the byte itself, a replacement, or nothing.
  std::optional<uint8_t> FilterReply(uint8_t byte);
  bool Silent();
  // Whether any fault of the console's own (the packet, reply and silence faults above) is armed.
  bool ConsoleFaultsArmed();
  bool TakeReadFailure();
  bool TakeWriteFailure();
  bool TakeWriteShortening();
  bool Dropped();
  void ClearDropped();
  bool TakeConnectFailure(ConnectStep step);

 private:
  std::mutex mutex_;
  int shortPackets_ = 0;
  size_t shortKeep_ = 1;
  int corruptChecksums_ = 0;
  int delayedPackets_ = 0;
  int delaySkip_ = 0;
  uint32_t delayMs_ = 0;
  bool holdNext_ = false;
  int holdSkip_ = 0;
  bool holding_ = false;
  int wrongReplies_ = 0;
  uint8_t wrongReplyByte_ = 0;
  int suppressedReplies_ = 0;
  bool silent_ = false;
  int failedReads_ = 0;
  int failedWrites_ = 0;
  int shortWrites_ = 0;
  int readSkip_ = 0;
  int writeSkip_ = 0;
  int shortWriteSkip_ = 0;
  bool dropped_ = false;
  std::optional<ConnectStep> connectFailure_;
};

}  // namespace zemlo::sim
