// Which part of a save file goes to the card.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "extract/card_transfer.h"

namespace zemlo {
namespace {

std::vector<uint8_t> WithMagic(size_t size, const char* magic = "GCSAVE") {
  std::vector<uint8_t> file(size, 0x33);
  std::memcpy(file.data(), magic, std::min(size, std::strlen(magic)));
  return file;
}

TEST(CardSaveData, GameSharkHeaderIsDroppedOnlyWhenWhole) {
  const std::vector<uint8_t> gcs = WithMagic(272 + 64);
  const auto data = CardSaveData(gcs);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->data(), gcs.data() + 272);
  EXPECT_EQ(data->size(), 64u);

  const std::vector<uint8_t> headerOnly = WithMagic(272);
  ASSERT_TRUE(CardSaveData(headerOnly));
  EXPECT_TRUE(CardSaveData(headerOnly)->empty());

  for (size_t size : {6, 7, 100, 271}) EXPECT_FALSE(CardSaveData(WithMagic(size))) << size;
}

TEST(CardSaveData, AnythingElseGoesWhole) {
  for (const std::vector<uint8_t>& file :
       {std::vector<uint8_t>{}, WithMagic(5), WithMagic(3, "GCS"), WithMagic(300, "GCSAVe"),
        WithMagic(300, "XGCSAVE")}) {
    const auto data = CardSaveData(file);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->data(), file.data());
    EXPECT_EQ(data->size(), file.size());
  }
}

}  // namespace
}  // namespace zemlo
