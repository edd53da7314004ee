#include "extract/dat_catalog.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#ifndef ZEMLO_NO_DAT_FILES
#include <zip.h>

#include <pugixml.hpp>
#endif

namespace zemlo {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasDatExtension(const std::string& name, bool allowZip) {
  const std::string extension = Lower(std::filesystem::path(name).extension().string());
  return extension == ".dat" || extension == ".xml" || (allowZip && extension == ".zip");
}

#ifndef ZEMLO_NO_DAT_FILES
// Adds the roms of one XML document to `dat`; false (with `error`) when it is no Logiqx DAT.
bool ParseXml(const std::string& text, const std::string& source, DatFile& dat,
              std::string& error) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
  if (!parsed) {
    error = source + ": not valid XML (" + parsed.description() + " at byte " +
            std::to_string(parsed.offset) + ")";
    return false;
  }
  const pugi::xml_node root = document.child("datafile");
  if (!root) {
    error = source + ": no <datafile> element";
    return false;
  }
  if (dat.title.empty()) {
    const pugi::xml_node header = root.child("header");
    dat.title = header.child_value("name");
    const std::string version = header.child_value("version");
    if (!version.empty()) dat.title += " " + version;
    if (dat.title.empty()) dat.title = std::filesystem::path(source).filename().string();
  }
  for (const pugi::xml_node game : root.children("game")) {
    for (const pugi::xml_node rom : game.children("rom")) {
      DatRom entry;
      entry.game = game.attribute("name").as_string();
      entry.rom = rom.attribute("name").as_string();
      entry.size = rom.attribute("size").as_ullong();
      entry.crc = Lower(rom.attribute("crc").as_string());
      entry.md5 = Lower(rom.attribute("md5").as_string());
      entry.sha1 = Lower(rom.attribute("sha1").as_string());
      dat.roms.push_back(std::move(entry));
    }
  }
  return true;
}

bool ParseZip(const std::string& path, DatFile& dat, std::string& error) {
  int code = 0;
  std::unique_ptr<zip_t, int (*)(zip_t*)> archive(zip_open(path.c_str(), ZIP_RDONLY, &code),
                                                  zip_close);
  if (!archive) {
    zip_error_t zipError;
    zip_error_init_with_code(&zipError, code);
    error = path + ": not a readable zip (" + zip_error_strerror(&zipError) + ")";
    zip_error_fini(&zipError);
    return false;
  }
  bool found = false;
  const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t index = 0; index < entries; ++index) {
    zip_stat_t stat;
    if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0) continue;
    if (!(stat.valid & ZIP_STAT_NAME) || !HasDatExtension(stat.name, false)) continue;
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> member(
        zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0), zip_fclose);
    std::string text;
    char chunk[65536];
    zip_int64_t got = 0;
    while (member && (got = zip_fread(member.get(), chunk, sizeof chunk)) > 0) {
      text.append(chunk, static_cast<size_t>(got));
    }
    if (!member || got < 0) {
      error = path + ": cannot unpack " + stat.name;
      return false;
    }
    if (!ParseXml(text, path + ":" + stat.name, dat, error)) return false;
    found = true;
  }
  if (!found) error = path + ": the zip holds no .dat or .xml file";
  return found;
}
#endif

bool Agrees(const std::string& listed, const std::string& actual) {
  return !listed.empty() && listed == actual;
}

}  // namespace

std::optional<DatFile> LoadDat(const std::string& path, std::string& error) {
#ifdef ZEMLO_NO_DAT_FILES
  error = path + ": " + kDatFilesUnsupported;
  return std::nullopt;
#else
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened";
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DatFile dat;
  const bool zipped = text.size() >= 4 && text.compare(0, 4, "PK\x03\x04") == 0;
  if (!(zipped ? ParseZip(path, dat, error) : ParseXml(text, path, dat, error))) {
    return std::nullopt;
  }
  return dat;
#endif
}

std::vector<std::string> DatFilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
    if (entry.is_regular_file(failure) && HasDatExtension(entry.path().string(), true)) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string DatVerdict::Line() const {
  switch (kind) {
    case Verified:
      return "verified: " + game;
    case NotInDat:
      return "not in DAT (" + where + ")";
    case Conflict:
      return "DAT conflict: " + game + " (" + where + ")";
    case NoDat:
      break;
  }
  return "no DAT given";
}

DatVerdict Verify(const std::vector<DatFile>& dats, const Digests& digests) {
  DatVerdict verdict;
  if (dats.empty()) return verdict;
  const std::string crc = digests.Crc32Hex(), md5 = digests.Md5Hex(), sha1 = digests.Sha1Hex();
  std::optional<DatVerdict> conflict;
  for (const DatFile& dat : dats) {
    for (const DatRom& rom : dat.roms) {
      const bool size = rom.size == digests.size;
      const bool agree[] = {Agrees(rom.sha1, sha1), Agrees(rom.crc, crc), Agrees(rom.md5, md5)};
      const char* names[] = {"SHA-1", "CRC32", "MD5"};
      if (size && agree[0] && agree[1] && agree[2]) return {DatVerdict::Verified, rom.game, {}};
      if (conflict || !(agree[0] || agree[1] || agree[2])) continue;
      std::string differs = size ? "" : "size";
      for (int i = 0; i < 3; ++i) {
        if (agree[i]) continue;
        if (!differs.empty()) differs += ", ";
        differs += names[i];
      }
      conflict = DatVerdict{DatVerdict::Conflict, rom.game, differs + " differ"};
    }
  }
  if (conflict) return *conflict;
  verdict.kind = DatVerdict::NotInDat;
  for (const DatFile& dat : dats) {
    if (!verdict.where.empty()) verdict.where += ", ";
    verdict.where += dat.title;
  }
  return verdict;
}

}  // namespace zemlo
