// The files adc-record writes: 16-bit PCM WAV with the channels' units kept
// beside the codes, and CSV in units.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tools {

struct ChannelDescription {
  std::string name;
  std::string unit;
  std::string range;
  double scale = 1;   // codes per unit
  double offset = 0;  // units; a code k stands for k / scale + offset
};

// Writes codes as they come and fixes the header sizes on Close. Above two
// channels the format is WAVE_FORMAT_EXTENSIBLE. A LIST/INFO comment in the
// file and a "<file>.channels.csv" sidecar give each channel's name, unit,
// scale and offset.
class WavWriter {
 public:
  bool Open(const std::string& path, const std::vector<ChannelDescription>& channels, double rate);
  bool Write(const std::int16_t* codes, std::int64_t frames);
  bool Close();
  static std::string SidecarPath(const std::string& wav_path);

 private:
  std::ofstream file_;
  std::int64_t channels_ = 0;
  std::int64_t data_bytes_ = 0;
  std::streamoff riff_size_at_ = 0;
  std::streamoff data_size_at_ = 0;
};

class CsvWriter {
 public:
  bool Open(const std::string& path, const std::vector<ChannelDescription>& channels, double rate);
  bool Write(const std::int16_t* codes, std::int64_t frames);
  bool Close();

 private:
  std::ofstream file_;
  std::vector<ChannelDescription> channels_;
  double rate_ = 1;
  std::int64_t frame_ = 0;
};

}  // namespace tools
