// Dump databases in the Logiqx XML format (datafile/game/rom with size, crc, md5 and sha1), read
// from a plain file or from the .dat/.xml members of a zip, and the verdict for one dump.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "extract/digests.h"

namespace zemlo {

// Reading DATs needs an XML and a zip reader for the target, which the Windows cross build has
// not: there the sums are still listed and reported, but no DAT is read.
#ifdef ZEMLO_NO_DAT_FILES
inline constexpr bool kDatFilesSupported = false;
#else
inline constexpr bool kDatFilesSupported = true;
#endif
inline constexpr char kDatFilesUnsupported[] = "DAT files are not supported in this build";

struct DatRom {
  std::string game;
  std::string rom;
  uint64_t size = 0;
  std::string crc, md5, sha1;  // lower-case hexadecimal; empty when the DAT leaves one out
};

struct DatFile {
  std::string title;  // the header's name and version
  std::vector<DatRom> roms;
};

// Nothing, with `error` saying why, when the file cannot be read or is no DAT.
std::optional<DatFile> LoadDat(const std::string& path, std::string& error);

// The DAT files of a folder (*.dat, *.xml, *.zip), sorted by name; empty when it cannot be read.
std::vector<std::string> DatFilesIn(const std::string& folder);

struct DatVerdict {
  enum Kind { NoDat, NotInDat, Verified, Conflict } kind = NoDat;
  std::string game;   // Verified, Conflict
  std::string where;  // NotInDat: the DATs looked in; Conflict: what disagrees
  // "verified: <game>", "not in DAT (<DATs>)", "no DAT given" or "DAT conflict: ...".
  std::string Line() const;
};

// A rom matches on size and SHA-1 and is then confirmed by CRC-32 and MD5. A rom that agrees on
// some of these but not all is a conflict, never a match.
DatVerdict Verify(const std::vector<DatFile>& dats, const Digests& digests);

}  // namespace zemlo
