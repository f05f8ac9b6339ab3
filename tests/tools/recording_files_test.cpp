// The files adc-record writes, as text and as python3-soundfile and soxi read them where installed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/recording_files.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Volts, and a channel with an offset whose name needs quoting and unit more than ASCII.
tools::RecordingInfo Info(bool on_demand) {
  return {"2026-01-02T03:04:05.678Z", "Task", "PCIe-6363", "adc-record test", 100, on_demand,
          {{"ai0", "V", "\xC2\xB1" "10 V", 3200, 0},
           {"temp, inner", "\xC2\xB0" "C", "0...100 \xC2\xB0" "C", 1.6e6f, 50}}};
}

TEST(WavWriter, SidecarDescribesEachChannelBesideTheWav) {
  tools::WavWriter wav;
  ASSERT_TRUE(wav.Open("sidecar.wav") && wav.Begin(Info(true)) && wav.Close());
  const std::string recording = ",Task,PCIe-6363,2026-01-02T03:04:05.678Z,100,1,adc-record test\n";
  EXPECT_EQ(ReadAll("sidecar.channels.csv"),
            "channel,name,unit,range,scale,offset,task,device,start_utc,rate,rate_is_nominal,software\n"
            "0,ai0,V,\xC2\xB1" "10 V,3200,0" + recording +
            "1,\"temp, inner\",\xC2\xB0" "C,0...100 \xC2\xB0" "C,1600000,50" + recording);
}

// Values as the shortest text that reads back the same; an on-demand task's
// rows carry the time of their read instead of frame / rate.
TEST(CsvWriter, ShortestValuesInUnitsAndReadTimesOnDemand) {
  const std::int16_t codes[] = {32000, -32000, 1, 1};
  for (const auto& [on_demand, expected] :
       {std::pair{false, "frame,time_s,ai0 [V],\"temp, inner [\xC2\xB0" "C]\"\n"
                         "0,0,10,49.98\n1,0.01,0.0003125,50.000000625\n"},
        std::pair{true, "frame,read_time_s,ai0 [V],\"temp, inner [\xC2\xB0" "C]\"\n"
                        "0,0.25,10,49.98\n1,1.5,0.0003125,50.000000625\n"}}) {
    tools::CsvWriter csv;
    ASSERT_TRUE(csv.Open("values.csv") && csv.Begin(Info(on_demand)));
    ASSERT_TRUE(csv.Write(codes, 1, 0.25) && csv.Write(codes + 2, 1, 1.5) && csv.Close());
    EXPECT_EQ(ReadAll("values.csv"), expected);
  }
}

#ifdef NIADC_CHECK_WAV
// 500 frames in blocks, the header brought up to date after each.
void Record(const std::string& path, std::uint64_t rf64_above) {
  tools::WavWriter wav(rf64_above);
  ASSERT_TRUE(wav.Open(path) && wav.Begin(Info(false)));
  const std::vector<std::int16_t> block(2 * 100, 7);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(wav.Write(block.data(), 100) && wav.UpdateHeader());
  ASSERT_TRUE(wav.Close());
}

// The threshold is 4 GiB in use, lowered here to a small file's RIFF size.
TEST(WavWriter, BecomesRf64OnceTheRiffSizePassesTheThreshold) {
  Record("grow.wav", 0xFFFFFFFF);
  const std::uint64_t riff = std::filesystem::file_size("grow.wav") - 8;
  for (const auto& [threshold, format] : {std::pair{riff, "WAV"}, std::pair{riff - 1, "RF64"}}) {
    Record("grow.wav", threshold);
    const auto check = std::string(NIADC_CHECK_WAV " grow.wav ") + format + " 500 2 100";
    EXPECT_EQ(std::system(check.c_str()), 0) << format;
    if (std::string(format) == "RF64") {  // the frame count in ds64; the data chunk's own size left to ds64
      EXPECT_EQ(ReadAll("grow.wav").substr(36, 4), std::string("\xF4\x01\0\0", 4));
      EXPECT_NE(ReadAll("grow.wav").find(std::string("data\xFF\xFF\xFF\xFF")), std::string::npos);
    }
  }
}
#endif

}  // namespace
