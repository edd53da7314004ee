#include "gdbstub/target_description.h"

#include "gdbstub/console_target.h"
#include "gdbstub/rsp_codec.h"

namespace zemlo::gdb {
namespace {

// gdb's register numbers for this description: r0-r31, f0-f31, then pc, msr, cr, lr, ctr, xer,
// fpscr; the `g` packet carries them in this order.
constexpr uint32_t kFirstFpr = 32, kPc = 64, kMsr = 65, kCr = 66, kLr = 67, kCtr = 68, kXer = 69,
                   kFpscr = 70;

std::string BuildTargetXml() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n<target "
      "version=\"1.0\">\n<architecture>powerpc:750</architecture>\n<feature "
      "name=\"org.gnu.gdb.power.core\">\n";
  for (int n = 0; n < 32; ++n) {
    xml += "<reg name=\"r" + std::to_string(n) + "\" bitsize=\"32\" type=\"uint32\" regnum=\"" +
           std::to_string(n) + "\"/>\n";
  }
  xml +=
      "<reg name=\"pc\" bitsize=\"32\" type=\"code_ptr\" regnum=\"64\"/>\n"
      "<reg name=\"msr\" bitsize=\"32\" type=\"uint32\"/>\n"
      "<reg name=\"cr\" bitsize=\"32\" type=\"uint32\"/>\n"
      "<reg name=\"lr\" bitsize=\"32\" type=\"code_ptr\"/>\n"
      "<reg name=\"ctr\" bitsize=\"32\" type=\"uint32\"/>\n"
      "<reg name=\"xer\" bitsize=\"32\" type=\"uint32\"/>\n"
      "</feature>\n<feature name=\"org.gnu.gdb.power.fpu\">\n";
  for (int n = 0; n < 32; ++n) {
    xml += "<reg name=\"f" + std::to_string(n) +
           "\" bitsize=\"64\" type=\"ieee_double\" regnum=\"" + std::to_string(kFirstFpr + n) +
           "\"/>\n";
  }
  xml +=
      "<reg name=\"fpscr\" bitsize=\"32\" group=\"float\" regnum=\"70\"/>\n</feature>\n</target>\n";
  return xml;
}

std::string Hex(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

const std::string& TargetXml() {
  static const std::string xml = BuildTargetXml();
  return xml;
}

std::string MemoryMapXml() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE memory-map PUBLIC \"+//IDN gnu.org//DTD GDB Memory Map "
      "V1.0//EN\" \"http://sourceware.org/gdb/gdb-memory-map.dtd\">\n<memory-map>\n";
  for (const MemoryRegion& region : kMemoryRegions) {
    xml += "<memory type=\"ram\" start=\"" + Hex(region.first) + "\" length=\"" +
           Hex(region.last - region.first + 1) + "\"/>\n";
  }
  return xml + "</memory-map>\n";
}

std::string RegisterText(const RegisterValues& block, uint32_t number) {
  if (number < 32) return HexWord(block[kBlockGpr0 + number]);
  if (number < kPc) return std::string(16, 'x');
  switch (number) {
    case kPc:
      return HexWord(block[kBlockSrr0]);
    case kMsr:
      return std::string(8, 'x');
    case kCr:
      return HexWord(block[kBlockCr]);
    case kLr:
      return HexWord(block[kBlockLr]);
    case kCtr:
      return HexWord(block[kBlockCtr]);
    case kXer:
      return HexWord(block[kBlockXer]);
    case kFpscr:
      return std::string(8, 'x');
    default:
      return {};
  }
}

std::string RegisterPacket(const RegisterValues& block) {
  std::string packet;
  for (uint32_t number = 0; number <= kFpscr; ++number) packet += RegisterText(block, number);
  return packet;
}

std::string GdbInit(const std::string& hostPort) {
  return "set architecture powerpc:750\n"
         "set endian big\n"
         "set remote hardware-breakpoint-limit 1\n"
         "set remote hardware-watchpoint-limit 1\n"
         "set remote hardware-watchpoint-length-limit 8\n"
         "target remote " +
         hostPort + "\n";
}

}  // namespace zemlo::gdb
