// The files adc-record writes, read back byte by byte as a WAV reader would.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/recording_files.h"

namespace {

using tools::ChannelDescription;

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("niadc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name)).string();
}

void Remove(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<unsigned char>& b, size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }

// Offset of a chunk's data, searching the RIFF chunk list.
size_t Chunk(const std::vector<unsigned char>& b, const std::string& id) {
  for (size_t at = 12; at + 8 <= b.size(); at += 8 + U32(b, at + 4) + (U32(b, at + 4) & 1)) {
    if (std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4) == id) return at + 8;
  }
  return 0;
}

std::vector<ChannelDescription> Channels(int n) {
  std::vector<ChannelDescription> channels;
  for (int c = 0; c < n; ++c) channels.push_back({"ch" + std::to_string(c), "V", "\xC2\xB1" "10 V", 3200, 0});
  return channels;
}

TEST(WavWriter, TwoChannelsArePlainPcmWithSizesFixedOnClose) {
  const auto path = TempPath("two.wav");
  tools::WavWriter wav;
  ASSERT_TRUE(wav.Open(path, Channels(2), 1000));
  const std::int16_t codes[] = {1, -1, 32767, -32768, 5, 6};
  ASSERT_TRUE(wav.Write(codes, 2));
  ASSERT_TRUE(wav.Write(codes + 4, 1));
  ASSERT_TRUE(wav.Close());
  const auto b = ReadAll(path);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(U32(b, 4), b.size() - 8);
  const size_t fmt = Chunk(b, "fmt ");
  ASSERT_NE(fmt, 0u);
  EXPECT_EQ(U16(b, fmt), 1);       // PCM
  EXPECT_EQ(U16(b, fmt + 2), 2);   // channels
  EXPECT_EQ(U32(b, fmt + 4), 1000u);
  EXPECT_EQ(U16(b, fmt + 12), 4);  // block align
  const size_t data = Chunk(b, "data");
  ASSERT_NE(data, 0u);
  EXPECT_EQ(U32(b, data - 4), 12u);
  EXPECT_EQ(static_cast<std::int16_t>(U16(b, data + 4)), 32767);
  EXPECT_EQ(static_cast<std::int16_t>(U16(b, data + 6)), -32768);
  Remove(path);
  Remove(tools::WavWriter::SidecarPath(path));
}

TEST(WavWriter, MoreThanTwoChannelsUseTheExtensibleFormatAndKeepTheirUnits) {
  const auto path = TempPath("four.wav");
  tools::WavWriter wav;
  auto channels = Channels(4);
  channels[3] = {"temp, inner", "\xC2\xB0" "C", "0...100 \xC2\xB0" "C", 640, 50};
  ASSERT_TRUE(wav.Open(path, channels, 12800));
  ASSERT_TRUE(wav.Close());
  const auto b = ReadAll(path);
  const size_t fmt = Chunk(b, "fmt ");
  EXPECT_EQ(U16(b, fmt), 0xFFFE);
  EXPECT_EQ(U16(b, fmt + 2), 4);
  EXPECT_EQ(U16(b, fmt + 18), 16);  // valid bits
  EXPECT_EQ(U16(b, fmt + 24), 1);   // PCM sub-format
  EXPECT_EQ(U32(b, Chunk(b, "data") - 4), 0u);
  EXPECT_NE(Chunk(b, "LIST"), 0u);

  std::string header, first, line, last;
  {
    std::ifstream sidecar(tools::WavWriter::SidecarPath(path));
    std::getline(sidecar, header);
    std::getline(sidecar, first);
    while (std::getline(sidecar, line)) last = line;
  }
  EXPECT_EQ(header, "channel,name,unit,range,scale,offset");
  EXPECT_EQ(first, "0,ch0,V,\xC2\xB1" "10 V,3200,0");
  EXPECT_EQ(last, "3,\"temp, inner\",\xC2\xB0" "C,0...100 \xC2\xB0" "C,640,50");
  Remove(path);
  Remove(tools::WavWriter::SidecarPath(path));
}

TEST(WavWriter, SidecarSitsBesideTheFile) {
  EXPECT_EQ(tools::WavWriter::SidecarPath("rec/demo.wav"), "rec/demo.channels.csv");
  EXPECT_EQ(tools::WavWriter::SidecarPath("rec.d/demo"), "rec.d/demo.channels.csv");
}

TEST(CsvWriter, ValuesAreInUnits) {
  const auto path = TempPath("values.csv");
  tools::CsvWriter csv;
  ASSERT_TRUE(csv.Open(path, {{"a", "V", "", 3200, 0}, {"b", "V", "", 6400, 5}}, 100));
  const std::int16_t codes[] = {32000, -32000, -16000, 0};
  ASSERT_TRUE(csv.Write(codes, 2));
  ASSERT_TRUE(csv.Close());
  std::string header, row0, row1;
  {
    std::ifstream in(path);
    std::getline(in, header);
    std::getline(in, row0);
    std::getline(in, row1);
  }
  EXPECT_EQ(header, "frame,time_s,a [V],b [V]");
  EXPECT_EQ(row0, "0,0,10,0");
  EXPECT_EQ(row1, "1,0.01,-5,5");
  Remove(path);
}

TEST(Files, UnwritablePathIsReported) {
  tools::WavWriter wav;
  EXPECT_FALSE(wav.Open("/no/such/folder/x.wav", Channels(1), 10));
  tools::CsvWriter csv;
  EXPECT_FALSE(csv.Open("/no/such/folder/x.csv", Channels(1), 10));
}

}  // namespace
