#include "extract/disc_extractor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "disc/wii_keys.h"
#include "extract/disc_identity.h"
#include "extract/disc_output.h"
#include "extract/dump_options.h"
#include "extract/dump_verifier.h"
#include "extract/packet_read.h"
#include "extract/packet_writer.h"
#include "extract/stream_control.h"
#include "link/bytes.h"
#include "link/d2xx.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr std::array kDiscKinds{
    DiscKind{"Gamecube Game (Checksum Mode)", "Gamecube Game Selected", CMD_DVD_GAMECUBE, 23762,
             0xA000},
    DiscKind{"Wii Single Layer (Checksum Mode)", "Wii Game Selected (Single Layer)",
             CMD_DVD_WII_SINGLE, 76497, 0x1000},
    DiscKind{"Wii Dual Layer (Checksum Mode", "Wii Game Selected (Dual Layer)", CMD_DVD_WII_DUAL,
             138528, 0},
};
static_assert(kDiscKinds[0].imageSize() == 1'459'978'240ull);
static_assert(kDiscKinds[1].imageSize() == 4'699'979'776ull);
static_assert(kDiscKinds[2].imageSize() == 8'511'160'320ull);
// The final part is received into one of the writer's packet slots.
static_assert(kDiscKinds[0].finalPart <= kDiscPacketData &&
              kDiscKinds[1].finalPart <= kDiscPacketData &&
              kDiscKinds[2].finalPart <= kDiscPacketData);

constexpr uint32_t kHandshakeTimeoutMs = 2000;
constexpr uint32_t kDriveReadySliceMs = 500;
constexpr char kDiscFileKey[] = "disc-image";
constexpr char kCaptionDvdError[] = "DVD Error";

// The ends of a run from the packet stream on: the bar and the list are emptied; the file and the
// buffer close as the procedure returns.
ExtractOutcome FailStream(const char* text, const char* caption) {
  ShowError(text, caption);
  ProgressEnd();
  Ui().ListClear();
  return ExtractOutcome::Failed;
}

std::string WaitingLine(uint32_t packet) {
  char line[64];
  std::snprintf(line, sizeof line, "Console still reading Packet %x", packet);
  return line;
}

std::string MismatchLine(uint32_t packet) {
  char line[48];
  std::snprintf(line, sizeof line, "checksum Mismatch Packet %x", packet);
  return line;
}

enum class Handshake { Ready, Failed, Stopped };

// The second acknowledgement comes once the drive has spun up, which may take minutes. It is
// waited for in short reads, so that a stop pressed meanwhile ends the wait at once; the reads
// together wait as long as every back end's unlimited wait.
TransferResult AwaitDriveReady(uint8_t& reply) {
  SetLinkTimeouts(kDriveReadySliceMs, kHandshakeTimeoutMs);
  TransferResult read = TRANSFER_SHORT;
  for (uint32_t waited = 0;
       waited < kUnlimitedTimeoutCapMs && read == TRANSFER_SHORT && !g_stopRequested;
       waited += kDriveReadySliceMs) {
    read = ReadExact(&reply, 1);
  }
  return read;
}

// The console's two acknowledgements. A stop pressed before or during them ends the run as
// stopped: the purge that precedes the stop byte takes the reply being waited for.
Handshake ShakeHands(uint8_t command) {
  if (g_stopRequested) return Handshake::Stopped;
  SendUnchecked(command);
  uint8_t reply = 0;
  if (ReadExact(&reply, 1) != TRANSFER_COMPLETE) {
    if (g_stopRequested) return Handshake::Stopped;
    ShowUsbError("Error sending Extract DVD command");
    return Handshake::Failed;
  }
  if (reply != REPLY_ACK) {
    ShowUsbError("DVD Extract Error. Exiting");
    return Handshake::Failed;
  }
  const TransferResult second = AwaitDriveReady(reply);
  SetLinkTimeouts(kHandshakeTimeoutMs, kHandshakeTimeoutMs);
  if (second == TRANSFER_SHORT && g_stopRequested) return Handshake::Stopped;
  if (second != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgReadResponse);
    return Handshake::Failed;
  }
  if (reply != REPLY_ACK) {
    ShowUsbError("2. Wrong reply from console. Exiting");
    return Handshake::Failed;
  }
  return Handshake::Ready;
}

ExtractOutcome EndStopped(const DiscOutput& file) {
  Ui().ShowMessage(kMsgDiscStopped, kCaptionDiscStopped, MessageIcon::None, MessageOwner::None,
                   KeptFileDetail(file));
  Ui().ListClear();
  ProgressEnd();
  g_keepExtracting = 0;
  return ExtractOutcome::Stopped;
}

DiscSystem SystemOf(const DiscKind& kind) {
  return kind.command == CMD_DVD_GAMECUBE ? DiscSystem::GameCube : DiscSystem::Wii;
}

// Lists who the disc is, and warns (the run goes on) when it is not of the kind chosen. A header
// without either magic word is no disc's (a console sending garbage, a scratched first sector):
// its bytes name nothing, so only the warning is listed.
std::optional<DiscIdentity> Identify(const DiscKind& kind, std::span<const uint8_t> header) {
  std::optional<DiscIdentity> identity = ReadDiscIdentity(header);
  if (!identity) return identity;
  if (identity->system != DiscSystem::Unknown) {
    AppendLine("Disc: " + identity->gameId + " " + identity->title + " (disc " +
               std::to_string(identity->discNumber + 1) + ", version " +
               std::to_string(identity->version) + ")");
  }
  if (auto warning = KindMismatchLine(SystemOf(kind), identity->system)) AppendLine(*warning);
  if (identity->system == DiscSystem::Unknown) identity.reset();
  return identity;
}

// The verdict and the checksums below the run's own lines, and the report beside the image.
void ReportVerification(DumpVerifier& verifier, const std::string& path, const DiscOutput& output,
                        const std::optional<DiscIdentity>& identity) {
  verifier.Finish();
  const DatVerdict verdict = verifier.Verdict();
  AppendLine(verdict.Line());
  for (const std::string& line : verifier.HashLines()) AppendLine(line);

  ReportFields fields = verifier.CommonFields(path);
  const DiscIdentity known = identity.value_or(DiscIdentity{});
  const ReportFields disc{{"Game ID", known.gameId},
                          {"Title", known.title},
                          {"Disc", std::to_string(known.discNumber + 1)},
                          {"Version", std::to_string(known.version)},
                          {"System", SystemName(known.system)}};
  fields.insert(fields.begin() + 1, disc.begin(), disc.end());
  if (output.format() != disc::ImageFormat::Iso) {
    // The image's own files: the parts of a split ISO in order, or the RVZ.
    std::string files;
    for (const std::string& file : output.Files()) {
      files += (files.empty() ? "" : ", ") + std::filesystem::path(file).filename().string();
    }
    fields.insert(fields.begin() + 1, {{"Format", FormatName(output.format())}, {"Files", files}});
  }
  const bool verified = verdict.kind == DatVerdict::Verified;
  const auto sums = std::find_if(fields.begin(), fields.end(),
                                 [](const auto& field) { return field.first == "SHA-1"; });
  fields.insert(sums + 1, {"Verified", verified ? "yes (" + verdict.game + ")"
                                                : "no (" + verdict.Line() + ")"});
  if (!WriteDumpReport(path, fields))
    AppendLine("Error: Couldn't write the report " + path + ".txt");
}

}  // namespace

std::span<const DiscKind> DiscKinds() {
  return kDiscKinds;
}

ExtractOutcome ExtractDisc(int selection, std::span<const DiscKind> kinds) {
  WorkerBusyGuard busy;
  if (!RequireConnected(MessageOwner::Dialog)) return ExtractOutcome::Failed;
  if (selection < 0 || static_cast<size_t>(selection) >= kinds.size()) {
    ShowInfo(kMsgSelectExtractMethod, kCaptionPleaseSelect, MessageOwner::Dialog);
    return ExtractOutcome::Failed;
  }
  const DiscKind& kind = kinds[static_cast<size_t>(selection)];
  Ui().ListInsert(0, kind.listLine);

  const std::optional<std::string> path = Ui().ChooseSaveFile(
      FileRequest{kDiscFileKey, {{"Game Image (*.ISO)", "*.iso"}, {"All Files", "*.*"}}, "iso"});
  if (!path) {
    g_keepExtracting = 0;
    Ui().ListClear();
    ProgressEnd();
    return ExtractOutcome::Cancelled;
  }
  const DumpOptions options = CurrentDumpOptions();
  const disc::ImageFormat format = DumpFormat(options, *path);
  disc::RvzSettings rvz = options.rvz;
  if (format == disc::ImageFormat::Rvz && SystemOf(kind) == DiscSystem::Wii) {
    // Refused before the drive spins up: Wii partitions are stored decrypted in RVZ, which takes
    // the common key the console's keys file holds.
    std::string error = "No keys file was chosen.";
    if (!options.wiiKeysFile.empty())
      rvz.commonKey = disc::ReadCommonKey(options.wiiKeysFile, error);
    if (!rvz.commonKey) {
      Ui().ShowMessage(kMsgWiiRvz, kCaptionDvdError, MessageIcon::Error, MessageOwner::Dialog,
                       error +
                           " The keys file is the 1024-byte file a NAND backup of the console "
                           "carries; ISO and split ISO need none.");
      Ui().ListClear();
      return ExtractOutcome::Failed;
    }
  }
  DumpOptions imageOptions = options;
  imageOptions.rvz = rvz;
  DiscOutput file;
  if (!file.Open(format, *path, imageOptions)) {
    ShowFileError(kMsgFopen);
    return ExtractOutcome::Failed;
  }
  DumpVerifier verifier;
  verifier.LoadDats();
  if (const Handshake handshake = ShakeHands(kind.command); handshake != Handshake::Ready) {
    return handshake == Handshake::Stopped ? EndStopped(file) : ExtractOutcome::Failed;
  }

  // Packets are received straight into the writer's ring and written while the next ones come.
  // Declared after the file and the verifier, so that it has written everything before they go.
  PacketWriter writer(kDiscPacketData, kDiscPacketSize - kDiscPacketData,
                      [&](const uint8_t* data, size_t count) {
                        if (!file.Write(data, count)) return false;
                        verifier.Feed(data, count);
                        return true;
                      });
  if (!writer.Start()) {
    // The console is about to stream: tell it to stop so that it waits for a command again.
    AbandonStream();
    ShowError(kMsgAllocate, kCaptionMallocError);
    return ExtractOutcome::Failed;
  }
  ProgressBegin(kind.fullPackets, kDiscPacketSize);
  BeginStream();

  // Packets already answered may still be on their way to the disk when a write fails: the
  // console is sending the next one, and is told to leave its stream.
  const auto writeFailed = [&file] {
    AbandonStream();
    return file.Refused() ? FailStream(kMsgWiiRvzWrongKey, kCaptionDvdError)
                          : FailStream("Error: Couldn't write to file", kCaptionFileError);
  };
  uint32_t accepted = 0;
  unsigned attempts = 0;
  std::optional<DiscIdentity> identity;
  if (kind.fullPackets != 0) {
    do {
      if (!g_keepExtracting) break;
      uint8_t* const packet = writer.Slot();
      const PacketRead read =
          ReadPacket(packet, kDiscPacketSize, [&] { Ui().ListInsert(1, WaitingLine(accepted)); });
      if (read == PacketRead::Failed) return FailStream("Fatal Error. Exiting", kCaptionDvdError);
      if (read == PacketRead::Stopped) break;
      if (read == PacketRead::Silent) {
        AbandonStream();
        return FailStream(kMsgConsoleSilent, kCaptionDvdError);
      }
      const bool intact = read == PacketRead::Whole &&
                          ByteSum(packet, kDiscPacketData) == ReadBE32(packet + kDiscPacketData);
      if (intact) {
        if (accepted == 0) identity = Identify(kind, {packet, kDiscPacketData});
        writer.Commit(kDiscPacketData);
        if (writer.failed()) return writeFailed();
        ++accepted;
        attempts = 0;
        Ui().ProgressStep();
        SendUnchecked(ACK_BLOCK);
      } else if (g_stopRequested) {
        // The purge of the user's own stop cut this packet short: not a mismatch, and the console
        // has been told to leave its stream, so nothing is asked for again.
        break;
      } else {
        Ui().ListInsert(1, MismatchLine(accepted));
        verifier.NoteRetry();
        PurgeLink();
        if (++attempts >= kMaxAttemptsPerPacket) {
          SendUnchecked(CMD_STOP);
          return FailStream(kMsgTooManyAttempts, kCaptionUsbError);
        }
        SendUnchecked(RETRY_BLOCK);
      }
    } while (accepted < kind.fullPackets);
  }
  if (!writer.Drain()) return writeFailed();

  if (kind.finalPart != 0 && g_keepExtracting) {
    uint8_t* const packet = writer.Slot();
    const PacketRead read =
        ReadPacket(packet, kind.finalPart, [&] { Ui().ListInsert(1, WaitingLine(accepted)); });
    if (read == PacketRead::Failed || read == PacketRead::Partial || read == PacketRead::Silent) {
      return FailStream(kMsgUsbTransmit, kCaptionUsbError);
    }
    if (read == PacketRead::Whole) {
      if (kind.fullPackets == 0) identity = Identify(kind, {packet, kind.finalPart});
      writer.Commit(kind.finalPart);
      if (!writer.Drain()) {
        return FailStream("Error: Couldn't write last packet to file", kCaptionFileError);
      }
    }
  }
  if (!g_stopRequested && g_keepExtracting && !StreamIsSilent(kHandshakeTimeoutMs)) {
    AbandonStream();
    return FailStream(kMsgStreamOutOfStep, kCaptionDvdError);
  }

  if (g_stopRequested) return EndStopped(file);
  if (!file.Finish()) return FailStream("Error: Couldn't write to file", kCaptionFileError);
  Ui().ListInsert(1, kLineDiscFinished);
  if (verifier.enabled()) ReportVerification(verifier, *path, file, identity);
  ProgressEnd();
  return ExtractOutcome::Finished;
}

}  // namespace zemlo
