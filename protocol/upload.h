// The bulk uploads: a whole file sent to the console-side program in acknowledged packets, to
// run (DOL, ELF), to play (MOD, MP3) or to place at a chosen address (code). The five kinds share
// one procedure and differ only in the entries of the kind table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "link/ui_port.h"
#include "protocol/hex_parse.h"

namespace zemlo {

enum class UploadKind { Dol, Elf, Mod, Mp3, Code };

inline constexpr uint32_t kUploadPacketSize = 0xF80;      // 3,968 bytes
inline constexpr uint32_t kUploadSizeLimit = 19'910'656;  // 0x12FD000, accepted exactly

struct UploadKindInfo {
  UploadKind kind;
  uint8_t command;
  const char* name;     // as the command line names the kind: "dol", "elf", ...
  const char* button;   // the dialog button that starts it
  FileRequest request;  // the open-file dialog: its filters and remembered-path key
  std::optional<uint32_t> sizeLimit;
  bool addressInHeader;  // the code upload announces its address before the size
  const char* successText;
};

std::span<const UploadKindInfo> UploadKinds();
const UploadKindInfo& UploadKindInfoOf(UploadKind kind);
// The kind the command line calls `name` ("dol", "elf", "mod", "mp3"); nothing for others.
std::optional<UploadKind> UploadKindNamed(std::string_view name);

inline constexpr char kMsgUploadAddressSize[] = "Memory address incorrect size";
inline constexpr char kMsgFileTooBig[] = "Error: File too big - Limit is 19910656 bytes";
inline constexpr char kMsgReadToBuffer[] = "Error: Couldn't read file to buffer";
inline constexpr char kMsgFatalUsb[] = "Error: Fatal USB Error";
inline constexpr char kMsgPacketDrop[] = "Error: packet drop. try again";
inline constexpr char kMsgLastPacket[] = "Error: failed to send last packet";

// Uploads a file of `kind` chosen in the open-file dialog. 1 when uploaded; 0 on failure or
// when no file was chosen. The code kind runs UploadCode.
int UploadFile(UploadKind kind);

// The code upload's address and the length of its text, kept from one run to the next
// (initially 0 and 0). The Upload Code dialog sets them.
struct UploadCodeInput {
  uint32_t address = 0;
  int addressTextLength = 0;
};
extern UploadCodeInput g_uploadCode;

// Uploads a code blob to g_uploadCode.address. Same results as UploadFile.
int UploadCode();

// The buttons of the upload dialogs: the dialog's purge, then the upload.
int OnLoadPressed(UploadKind kind);  // "Load DOL", "Load ELF", "Load MOD", "Load MP3"
// Upload Code "Open": takes the address box's text into g_uploadCode (a text without a number
// keeps the previous address), purges, then uploads.
int OnUploadCodeOpenPressed(std::string_view addressText);

}  // namespace zemlo
