// Message texts and captions that more than one operation shows. Texts that belong to a single
// operation live with that operation.
#pragma once

namespace zemlo {

inline constexpr char kCaptionDone[] = "Done.";
inline constexpr char kCaptionError[] = "Error";
inline constexpr char kCaptionUsbError[] = "USB Error";
inline constexpr char kCaptionFileError[] = "File Error";
inline constexpr char kCaptionMallocError[] = "Malloc Error";
inline constexpr char kCaptionRangeError[] = "Range Error";
inline constexpr char kCaptionCardError[] = "Memory Card Error";
inline constexpr char kCaptionPleaseSelect[] = "Please Select";

inline constexpr char kMsgNotConnected[] = "You must first connect USB Zemlo in USB Menu";
inline constexpr char kMsgSendCommand[] =
    "Error sending command. Please check connection and retry";
inline constexpr char kMsgReadResponse[] =
    "Error reading response from Console. Please check connection and retry";
inline constexpr char kMsgReadAcknowledgement[] =
    "Error reading acknowledgement from Console. Please check connection and retry";
inline constexpr char kMsgTransmitRetry[] = "Error: Transmit Error. Please retry";
inline constexpr char kMsgUsbTransmit[] = "Error: USB Transmit Error";
inline constexpr char kMsgFopen[] = "Error: fopen file error";
inline constexpr char kMsgAllocate[] = "Error: Couldn't Allocate Enough Memory";
inline constexpr char kMsgDialogFailed[] = "Dialog failed to open";

// The console may refuse a packet or keep sending a block short for ever; after this many
// attempts at one packet or block the operation gives up with the message below.
inline constexpr unsigned kMaxAttemptsPerPacket = 64;
inline constexpr char kMsgTooManyAttempts[] =
    "Error: The console did not accept the data after 64 attempts. Please check connection and "
    "retry";

}  // namespace zemlo
