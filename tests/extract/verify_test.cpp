// Verified dumps: the three sums, the NAND page check against the flash's ECC, and disc images
// looked up in DATs the suite computes from the simulator's own discs.
#include <gtest/gtest.h>
#ifndef ZEMLO_NO_DAT_FILES
#include <zip.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "disc/image_file.h"
#include "disc/rvz.h"
#include "disc/simulated_wii.h"
#include "disc/wii_crypto.h"
#include "disc/wii_keys.h"
#include "extract/dat_catalog.h"
#include "extract/disc_extractor.h"
#include "extract/dump_options.h"
#include "extract/image_convert.h"
#include "extract/nand_check.h"
#include "extract/nand_dumper.h"
#include "extract/stream_hasher.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "sim/nand_spare.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The three sums in one pass on this thread.
Digests SumsOf(const uint8_t* bytes, size_t size) {
  DigestState state;
  state.Update(bytes, size);
  Digests sums;
  state.Finish(sums);
  return sums;
}

std::string Hex(const Digests& sums) {
  return sums.Crc32Hex() + " " + sums.Md5Hex() + " " + sums.Sha1Hex();
}

TEST(DigestTest, KnownAnswersAndTheThreadedHasherAgreeWithOnePass) {
  EXPECT_EQ(Hex(SumsOf(reinterpret_cast<const uint8_t*>("abc"), 3)),
            "352441c2 900150983cd24fb0d6963f7d28e17f72 a9993e364706816aba3e25717850c26c9cd0d89d");
  // The Wii hash tree keeps one digest object a thread: each message still stands alone.
  const auto* abc = reinterpret_cast<const uint8_t*>("abc");
  for (int call = 0; call < 2; ++call) EXPECT_EQ(disc::Sha1(abc, 3), SumsOf(abc, 3).sha1) << call;
  // Chunks of uneven sizes, more than the hasher buffers, in order.
  std::vector<uint8_t> bytes(3 * StreamHasher::kMaxBufferedBytes / 2);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 13));
  StreamHasher hasher;
  for (size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 7 % 100003 + 1) {
    hasher.Feed(&bytes[at], std::min(step, bytes.size() - at));
  }
  const Digests threaded = hasher.Finish();
  EXPECT_EQ(threaded.size, bytes.size());
  EXPECT_EQ(Hex(threaded), Hex(SumsOf(bytes.data(), bytes.size())));
}

// Known ECC of a page of pseudo-random bytes, quarter by quarter: the code is linear, so random
// data reaches the contribution of every bit.
TEST(NandEccTest, VectorsForBothTheClientAndTheSimulatedFlash) {
  std::vector<uint8_t> page(2048);
  for (uint32_t n = 0, s = 1; n < 2048; ++n) {
    s = static_cast<uint32_t>((uint64_t{s} * 1103515245 + 12345) % (1u << 31));
    page[n] = static_cast<uint8_t>(s >> 16);
  }
  ASSERT_EQ(page[0], 0xC6);
  const std::array<uint8_t, 4> ecc[] = {{0xAB, 0x03, 0xAB, 0x03},
                                        {0xC8, 0x0E, 0x37, 0x01},
                                        {0x55, 0x08, 0x55, 0x08},
                                        {0x1B, 0x0B, 0x1B, 0x0B}};
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_EQ(NandEcc(&page[512 * n]), ecc[n]) << n;
    EXPECT_EQ(sim::SpareEcc(&page[512 * n]), ecc[n]) << n;
  }
}

using VerifyTest = ExtractFixture;

TEST_F(VerifyTest, NandPageCheckReportAndKeys) {
  model().extract.nandPages = 256;
  // One bit in page 5, one in page 9's first quarter and two in its last, one in page 12's ECC.
  model().extract.nandBitFlips = {
      {5, 100}, {9, 8}, {9, 1600 * 8}, {9, 1601 * 8 + 3}, {12, (2048 + 0x30) * 8}};
  const std::string keys = TempPath("keys.bin");
  WriteFileBytes(keys, std::vector<uint8_t>(kNandKeysSize, 0x4B));
  SetDumpOptions({.keysFile = keys});
  const std::string path = SaveTo("checked.bin");

  EXPECT_EQ(DumpNand(1, 256), ExtractOutcome::Finished);

  EXPECT_EQ(ReadFileBytes(path).size(), 256u * 0x840 + kNandKeysSize);
  const std::vector<std::string> lines = ui().insertedLines();
  EXPECT_TRUE(Has(lines, "Pages: 1 bad blocks, 2 erased, 2 correctable, 1 uncorrectable"));
  EXPECT_TRUE(Has(lines, "Page c: correctable, one bit of the ECC of quarter 0"));
  EXPECT_TRUE(Has(lines, "Page 5: correctable, bit 4 of byte 12"));
  EXPECT_TRUE(Has(lines, "Page 9: uncorrectable, quarter 3"));
  EXPECT_TRUE(Has(lines, "Page 9: correctable, bit 0 of byte 1"));
  const std::string report = ReadText(path + ".txt");
  for (const char* field :
       {"File: checked.bin\n", "Bad blocks: 1\n", "Erased pages: 2\n", "Correctable pages: 2\n",
        "Uncorrectable pages: 1\n", "ECC: Page 9: uncorrectable, quarter 3\n"}) {
    EXPECT_NE(report.find(field), std::string::npos) << field;
  }
  EXPECT_NE(report.find("SHA-1: " + FileSha1Hex(path) + "\n"), std::string::npos);

  // A keys file of another size is refused before the console is asked for anything.
  WriteFileBytes(keys, std::vector<uint8_t>(kNandKeysSize - 1));
  ui().Clear();
  Sent();
  EXPECT_EQ(DumpNand(1, 256), ExtractOutcome::Failed);
  EXPECT_EQ(OnlyMessage(), Box(kMsgNandKeysSize, kCaptionFileError));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(VerifyTest, DiscLookedUpInDats) {
  if (!kDatFilesSupported) GTEST_SKIP() << kDatFilesUnsupported;
  const std::vector<DiscKind> kinds = SmallDiscs(3, 1, 1);
  const std::vector<uint8_t> disc =
      sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                              static_cast<uint32_t>(kinds[0].imageSize()));
  const Digests sums = SumsOf(disc.data(), disc.size());
  const std::string right = sums.Sha1Hex(), md5 = sums.Md5Hex(), crc = sums.Crc32Hex();
  const auto dat = [&](const std::string& sha1, const std::string& md5Hex,
                       const std::string& crcHex) {
    return "<datafile><header><name>Suite DAT</name><version>1.0</version></header><game "
           "name=\"Other\"><rom size=\"5\" crc=\"0\" md5=\"0\" sha1=\"0\"/></game><game "
           "name=\"Zemlo Test Disc\"><rom size=\"" +
           std::to_string(sums.size) + "\" crc=\"" + crcHex + "\" md5=\"" + md5Hex + "\" sha1=\"" +
           sha1 + "\"/></game></datafile>";
  };
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(TempPath(name)) << text;
    return TempPath(name);
  };
  const std::string zipped = TempPath("suite.zip");
#ifndef ZEMLO_NO_DAT_FILES
  {
    const std::string text = dat(right, md5, crc);
    zip_t* archive = zip_open(zipped.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    zip_file_add(archive, "suite.dat", source, ZIP_FL_OVERWRITE);
    zip_close(archive);
  }
#endif
  std::filesystem::create_directories(TempPath("dats"));
  write("dats/suite.dat", dat(right, md5, crc));
  const struct {
    DumpOptions options;
    std::string verdict;
    std::vector<std::string> errors = {};  // how each DAT error line goes on after "DAT error: "
  } cases[] = {
      {{}, "no DAT given"},
      {{.datFiles = {write("ok.dat", dat(right, md5, crc))}}, "verified: Zemlo Test Disc"},
      {{.datFiles = {zipped}}, "verified: Zemlo Test Disc"},
      {{.datFolder = TempPath("dats")}, "verified: Zemlo Test Disc"},
      {{.datFiles = {write("other.dat", dat(std::string(40, 'a'), "b", crc))}},
       "DAT conflict: Zemlo Test Disc (SHA-1, MD5 differ)"},
      {{.datFiles = {write("md5.dat", dat(right, "b", crc))}},
       "DAT conflict: Zemlo Test Disc (MD5 differ)"},
      {{.datFiles = {write("broken.dat", "<datafile><game"),
                     write("none.dat", dat(std::string(40, 'a'), "b", "c"))}},
       "not in DAT (Suite DAT 1.0)",
       {TempPath("broken.dat") + ": not valid XML ("}},
      {{.datFiles = {TempPath("missing.dat"), write("root.xml", "<other/>"),
                     write("bad.zip", "PK\x03\x04 cut short"),
                     write("ok2.dat", dat(right, md5, crc))}},
       "verified: Zemlo Test Disc",
       {TempPath("missing.dat") + ": cannot be opened",
        TempPath("root.xml") + ": no <datafile> element",
        TempPath("bad.zip") + ": not a readable zip ("}},
  };
  for (const auto& [options, verdict, errors] : cases) {
    SCOPED_TRACE(verdict);
    SetDumpOptions(options);
    ui().Clear();
    const std::string path = SaveTo("verify.iso");
    EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);
    const std::vector<std::string> list = ui().list();
    EXPECT_EQ(list[list.size() - 4], verdict);
    for (const std::string& error : errors) {
      EXPECT_TRUE(std::ranges::any_of(list, [&](const std::string& line) {
        return line.starts_with("DAT error: " + error);
      })) << error;
    }
    const std::string report = ReadText(path + ".txt");
    // The verdict follows the sums, after the disc's own fields.
    const bool verified = verdict.starts_with("verified");
    EXPECT_NE(report.find("SHA-1: " + right +
                          (verified ? "\nVerified: yes (Zemlo Test Disc)\n" : "\nVerified: no (")),
              std::string::npos);
    EXPECT_NE(report.find("Game ID: GZME01\nTitle: Zemlo Test Disc (GameCube)\nDisc: 1\n"),
              std::string::npos);
  }
}

// Every image format holds the whole disc, and the sums and report are of the plain disc bytes
// whatever the format.
TEST_F(VerifyTest, EveryImageFormatHoldsTheDiscItsSumsCover) {
  const std::vector<DiscKind> kinds = SmallDiscs(4, 1, 1);
  const std::vector<uint8_t> disc =
      sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                              static_cast<uint32_t>(kinds[0].imageSize()));
  const std::string sha1 = "SHA-1: " + SumsOf(disc.data(), disc.size()).Sha1Hex() + "\n";
  const struct {
    const char* name;
    std::optional<disc::ImageFormat> format;
    const char* reportLines;  // after the image's name
    std::vector<std::string> files;
  } rows[] = {
      {"a.iso", {}, "", {"a.iso"}},
      {"b.iso",
       disc::ImageFormat::Split,
       "Format: split ISO\nFiles: b.part0.iso, b.part1.iso, b.part2.iso\n",
       {"b.part0.iso", "b.part1.iso", "b.part2.iso"}},
      {"c.rvz", {}, "Format: RVZ\nFiles: c.rvz\n", {"c.rvz"}},
      {"d.img", disc::ImageFormat::Rvz, "Format: RVZ\nFiles: d.img\n", {"d.img"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const bool rvz = row.format == disc::ImageFormat::Rvz || row.files[0].ends_with(".rvz");
    if (rvz && !disc::RvzAvailable()) continue;
    SetDumpOptions({.imageFormat = row.format, .splitSize = 0x8000 * 4});
    ui().Clear();
    SaveTo(row.name);
    ASSERT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);
    const std::string report = ReadText(TempPath(row.name) + ".txt");
    EXPECT_NE(report.find(sha1), std::string::npos);
    EXPECT_EQ(report.find("Format:") != std::string::npos, row.format || row.files[0] != "a.iso");
    EXPECT_NE(report.find(std::string("File: ") + row.name + "\n" + row.reportLines),
              std::string::npos)
        << report;
    for (const std::string& file : row.files) {
      if (row.files.size() > 1) {
        EXPECT_LE(std::filesystem::file_size(TempPath(file)), 0x8000u * 4);
      }
    }
    std::string error;
    const std::unique_ptr<disc::ImageReader> image = disc::OpenImage(TempPath(row.files[0]), error);
    ASSERT_TRUE(image) << error;
    std::vector<uint8_t> back(image->size());
    EXPECT_TRUE(image->Read(0, back.data(), back.size()) && back == disc);
  }
}

// A Wii disc as RVZ takes the common key from the console's keys file: without one (or with one of
// another size) it is refused before the image is created; with a key that does not open the
// disc, as soon as its first cluster comes, leaving no file; with the right one the image holds
// the disc.
TEST_F(VerifyTest, WiiDiscAsRvzNeedsTheKeysFile) {
  if (!disc::RvzAvailable()) GTEST_SKIP() << "no zstd in this build";
  const std::vector<DiscKind> kinds = SmallDiscs(1, 43, 1);  // one Wii group in the partition
  std::vector<uint8_t> keys(disc::kKeysFileSize);
  std::copy(disc::kSimulatedCommonKey.begin(), disc::kSimulatedCommonKey.end(),
            &keys[disc::kKeysFileCommonKey]);
  WriteFileBytes(TempPath("keys.bin"), keys);
  keys[disc::kKeysFileCommonKey] ^= 1;
  WriteFileBytes(TempPath("wrong.bin"), keys);
  keys.pop_back();
  WriteFileBytes(TempPath("short.bin"), keys);
  const struct {
    const char* keys;
    ExtractOutcome outcome;
    const char* message;
  } rows[] = {
      {"", ExtractOutcome::Failed, kMsgWiiRvz},
      {"short.bin", ExtractOutcome::Failed, kMsgWiiRvz},
      {"wrong.bin", ExtractOutcome::Failed, kMsgWiiRvzWrongKey},
      {"keys.bin", ExtractOutcome::Finished, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.keys);
    SetDumpOptions({.wiiKeysFile = *row.keys ? TempPath(row.keys) : "",
                    .imageFormat = disc::ImageFormat::Rvz});
    ui().Clear();
    SaveTo("wii.rvz");
    ASSERT_EQ(ExtractDisc(1, kinds), row.outcome);
    EXPECT_EQ(std::filesystem::exists(TempPath("wii.rvz")), row.message == nullptr);
    if (row.message) {
      EXPECT_EQ(Box(ui().messages().back().text, ui().messages().back().caption),
                Box(row.message, "DVD Error"));
      continue;
    }
    std::string error;
    const std::unique_ptr<disc::ImageReader> image = disc::OpenImage(TempPath("wii.rvz"), error);
    ASSERT_TRUE(image) << error;
    std::vector<uint8_t> back(image->size());
    EXPECT_TRUE(image->Read(0, back.data(), back.size()) &&
                back == sim::GeneratedDiscBytes(sim::DiscType::WiiSingle, back.size(), 0,
                                                static_cast<uint32_t>(back.size())));
  }
  // Offline, an ISO is refused as RVZ before anything is written, short of the right key.
  ASSERT_TRUE(ConvertImage(TempPath("wii.rvz"), {disc::ImageFormat::Iso, TempPath("w.iso")}).ok);
  const struct {
    std::optional<disc::AesKey> key;
    const char* error;
  } conversions[] = {
      {{}, "an RVZ image of a Wii disc needs the console's keys file (--keys FILE)"},
      {disc::AesKey{}, "the keys file's common key does not open this Wii disc"},
      {disc::kSimulatedCommonKey, ""},
  };
  for (const auto& row : conversions) {
    const ConvertResult result = ConvertImage(
        TempPath("w.iso"), {disc::ImageFormat::Rvz, TempPath("w.rvz"), 0, {5, 0x20000, row.key}});
    EXPECT_EQ(result.error, row.error);
    EXPECT_EQ(std::filesystem::exists(TempPath("w.rvz")), result.ok);
  }
}

// The drive serves a GameCube image, shorter than the disc: zeros past its end.
TEST_F(VerifyTest, KindChosenIsNotTheDiscInTheDrive) {
  const std::vector<DiscKind> kinds = SmallDiscs(1, 2, 1);
  std::vector<uint8_t> image = sim::GeneratedDiscBytes(
      sim::DiscType::GameCube, kDiscPacketData + 5000, 0, kDiscPacketData + 5000);
  WriteFileBytes(TempPath("gc.iso"), image);
  model().extract.discImage = TempPath("gc.iso");
  SaveTo("wii.iso");
  EXPECT_EQ(ExtractDisc(1, kinds), ExtractOutcome::Finished);
  EXPECT_TRUE(
      Has(ui().list(), "Warning: the disc in the drive is a GameCube disc, not a Wii disc"));
  image.resize(kinds[1].imageSize(), 0);
  EXPECT_EQ(ReadFileBytes(TempPath("wii.iso")), image);

  // A header with neither magic word (garbage, a scratched sector) names no disc: only the warning.
  std::fill(image.begin() + 0x18, image.begin() + 0x20, uint8_t{0x5A});
  WriteFileBytes(TempPath("gc.iso"), image);
  ui().Clear();
  SaveTo("garbage.iso");
  EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);
  EXPECT_TRUE(
      Has(ui().list(), "Warning: the disc in the drive is neither a GameCube nor a Wii disc"));
  for (const std::string& line : ui().list()) EXPECT_NE(line.rfind("Disc: ", 0), 0u) << line;
}

}  // namespace
}  // namespace zemlo::testing
