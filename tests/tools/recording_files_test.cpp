// The files adc-record writes, read back byte by byte and, where they are
// installed, by readers written elsewhere (python3-soundfile, soxi).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/recording_files.h"

namespace {

using tools::ChannelDescription;

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("niadc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name))
      .string();
}

void Remove(const std::string& wav) {
  std::error_code ignored;
  std::filesystem::remove(wav, ignored);
  std::filesystem::remove(tools::WavWriter::SidecarPath(wav), ignored);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t U(const std::string& b, size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
  return value;
}
std::string Id(const std::string& b, size_t at) { return b.substr(at, 4); }

// Offset of a chunk's data, searching the RIFF chunk list.
size_t Chunk(const std::string& b, const std::string& id) {
  for (size_t at = 12; at + 8 <= b.size(); at += 8 + U(b, at + 4, 4) + (U(b, at + 4, 4) & 1)) {
    if (Id(b, at) == id) return at + 8;
    if (Id(b, at) == "data") break;
  }
  return 0;
}

tools::RecordingInfo Info(int channels, double rate) {
  tools::RecordingInfo info{"2026-01-02T03:04:05.678Z", "Task", "PCIe-6363", "adc-record test", rate, false, {}};
  for (int c = 0; c < channels; ++c) info.channels.push_back({"ch" + std::to_string(c), "V", "\xC2\xB1" "10 V", 3200, 0});
  return info;
}

#ifdef NIADC_READERS
// What a reader outside this project prints about a file.
std::string ReadWith(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) text += line;
    pclose(pipe);
  }
  return text;
}
#endif

TEST(WavWriter, SmallRecordingIsAPlainWavWithRoomForRf64) {
  const auto path = TempPath("two.wav");
  tools::WavWriter wav;
  ASSERT_TRUE(wav.Open(path));
  ASSERT_TRUE(wav.Begin(Info(2, 1000)));
  const std::int16_t codes[] = {1, -1, 32767, -32768, 5, 6};
  ASSERT_TRUE(wav.Write(codes, 2));
  ASSERT_TRUE(wav.UpdateHeader());
  auto b = ReadAll(path);
  EXPECT_EQ(U(b, Chunk(b, "data") - 4, 4), 8u);  // readable before the end
  ASSERT_TRUE(wav.Write(codes + 4, 1));
  ASSERT_TRUE(wav.Close());
  b = ReadAll(path);
  EXPECT_EQ(Id(b, 0), "RIFF");
  EXPECT_EQ(U(b, 4, 4), b.size() - 8);
  EXPECT_EQ(Id(b, 12), "JUNK");
  EXPECT_EQ(U(b, 16, 4), 28u);
  const size_t fmt = Chunk(b, "fmt ");
  EXPECT_EQ(U(b, fmt, 2), 1u);  // PCM
  EXPECT_EQ(U(b, fmt + 2, 2), 2u);
  EXPECT_EQ(U(b, fmt + 4, 4), 1000u);
  EXPECT_EQ(U(b, fmt + 12, 2), 4u);  // block align
  const size_t data = Chunk(b, "data");
  EXPECT_EQ(U(b, data - 4, 4), 12u);
  EXPECT_EQ(static_cast<std::int16_t>(U(b, data + 4, 2)), 32767);
  EXPECT_NE(Chunk(b, "LIST"), 0u);
  Remove(path);
}

TEST(WavWriter, MoreThanTwoChannelsAreExtensibleAndKeepTheirUnitsInTheSidecar) {
  const auto path = TempPath("four.wav");
  tools::WavWriter wav;
  auto info = Info(4, 12800);
  info.channels[3] = {"temp, inner", "\xC2\xB0" "C", "0...100 \xC2\xB0" "C", 0.02f, 50};
  ASSERT_TRUE(wav.Open(path));
  ASSERT_TRUE(wav.Begin(info));
  ASSERT_TRUE(wav.Close());
  const auto b = ReadAll(path);
  const size_t fmt = Chunk(b, "fmt ");
  EXPECT_EQ(U(b, fmt, 2), 0xFFFEu);
  EXPECT_EQ(U(b, fmt + 2, 2), 4u);
  EXPECT_EQ(U(b, fmt + 18, 2), 16u);  // valid bits
  EXPECT_EQ(U(b, fmt + 24, 4), 1u);   // PCM sub-format
  EXPECT_EQ(U(b, Chunk(b, "data") - 4, 4), 0u);
  const std::string recording = ",Task,PCIe-6363,2026-01-02T03:04:05.678Z,12800,0,adc-record test\n";
  EXPECT_EQ(ReadAll(tools::WavWriter::SidecarPath(path)),
            "channel,name,unit,range,scale,offset,task,device,start_utc,rate,rate_is_nominal,software\n"
            "0,ch0,V,\xC2\xB1" "10 V,3200,0" + recording + "1,ch1,V,\xC2\xB1" "10 V,3200,0" + recording +
            "2,ch2,V,\xC2\xB1" "10 V,3200,0" + recording + "3,\"temp, inner\",\xC2\xB0" "C,0...100 \xC2\xB0" "C,0.02,50" + recording);
  Remove(path);
}

// The switch to RF64 happens where the RIFF size passes the threshold: the
// real one is 4 GiB, lowered here so that small files cross it.
TEST(WavWriter, BecomesRf64PastTheThresholdAndStaysReadable) {
  struct Case {
    std::uint64_t threshold;
    bool rf64;
  };
  for (const Case& c : {Case{0xFFFFFFFF, false}, Case{1000, true}}) {
    const auto path = TempPath("grow.wav");
    tools::WavWriter wav(c.threshold);
    ASSERT_TRUE(wav.Open(path));
    ASSERT_TRUE(wav.Begin(Info(3, 48000)));
    const std::vector<std::int16_t> block(3 * 100, 7);
    for (int i = 0; i < 5; ++i) {
      ASSERT_TRUE(wav.Write(block.data(), 100));
      ASSERT_TRUE(wav.UpdateHeader());
    }
    ASSERT_TRUE(wav.Close());
    const auto b = ReadAll(path);
    EXPECT_EQ(Id(b, 0), c.rf64 ? "RF64" : "RIFF");
    EXPECT_EQ(Id(b, 12), c.rf64 ? "ds64" : "JUNK");
    if (c.rf64) {
      EXPECT_EQ(U(b, 4, 4), 0xFFFFFFFFu);
      EXPECT_EQ(U(b, 20, 8), b.size() - 8);  // RIFF size
      EXPECT_EQ(U(b, 28, 8), 3000u);         // data size
      EXPECT_EQ(U(b, 36, 8), 500u);          // frames
      EXPECT_EQ(U(b, Chunk(b, "data") - 4, 4), 0xFFFFFFFFu);
    }
#ifdef NIADC_READERS
    EXPECT_EQ(ReadWith("/usr/bin/python3 -c \"import soundfile as s, sys; i = s.info(sys.argv[1]); "
                       "print(i.frames, i.channels, i.samplerate)\" " + path),
              "500 3 48000\n");
    EXPECT_EQ(ReadWith("soxi -s " + path + "; soxi -c " + path + "; soxi -r " + path), "500\n3\n48000\n");
#endif
    Remove(path);
  }
}

TEST(CsvWriter, ValuesAreTheShortestDecimalsInUnits) {
  const auto path = TempPath("values.csv");
  tools::CsvWriter csv;
  auto info = Info(2, 100);
  info.channels = {{"a", "V", "", 3200, 0}, {"b", "A", "", 1.6e6f, 0}};
  ASSERT_TRUE(csv.Open(path));
  ASSERT_TRUE(csv.Begin(info));
  const std::int16_t codes[] = {32000, -32000, 1, 1};
  ASSERT_TRUE(csv.Write(codes, 2, 0));
  ASSERT_TRUE(csv.Close());
  EXPECT_EQ(ReadAll(path), "frame,time_s,a [V],b [A]\n0,0,10,-0.02\n1,0.01,0.0003125,6.25e-07\n");
  std::remove(path.c_str());
}

TEST(CsvWriter, OnDemandRowsCarryTheTimeOfTheirRead) {
  const auto path = TempPath("on-demand.csv");
  tools::CsvWriter csv;
  auto info = Info(1, 100);
  info.nominal_rate = true;
  ASSERT_TRUE(csv.Open(path));
  ASSERT_TRUE(csv.Begin(info));
  const std::int16_t codes[] = {0, 3200};
  ASSERT_TRUE(csv.Write(codes, 1, 0.25));
  ASSERT_TRUE(csv.Write(codes + 1, 1, 1.5));
  ASSERT_TRUE(csv.Close());
  EXPECT_EQ(ReadAll(path), "frame,read_time_s,ch0 [V]\n0,0.25,0\n1,1.5,1\n");
  std::remove(path.c_str());
}

TEST(Files, SidecarSitsBesideTheFileAndFailuresNameFileAndReason) {
  EXPECT_EQ(tools::WavWriter::SidecarPath("rec/demo.wav"), "rec/demo.channels.csv");
  EXPECT_EQ(tools::WavWriter::SidecarPath("rec.d/demo"), "rec.d/demo.channels.csv");
  tools::WavWriter wav;
  EXPECT_FALSE(wav.Open("/no/such/folder/x.wav"));
  EXPECT_EQ(wav.Error().rfind("cannot create /no/such/folder/x.wav: ", 0), 0u) << wav.Error();
}

}  // namespace
