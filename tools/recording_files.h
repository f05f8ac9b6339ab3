// The files adc-record writes: 16-bit PCM WAV (RF64 once it outgrows 4 GiB)
// with the channels' units kept beside the codes, and CSV in units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/output_file.h"

namespace tools {

struct ChannelDescription {
  std::string name;
  std::string unit;
  std::string range;
  float scale = 1;   // codes per unit
  float offset = 0;  // units; a code k stands for k / scale + offset
};

// What the files say about a recording besides its codes.
struct RecordingInfo {
  std::string start_utc;  // ISO 8601, e.g. 2026-12-05T23:40:00Z
  std::string task;
  std::string device;
  std::string software;  // "adc-record 1.0.0"
  double rate = 1;       // frames per second
  bool nominal_rate = false;  // on-demand task: frames are taken as they are read
  std::vector<ChannelDescription> channels;
};

// The shortest decimal that reads back as the same value.
std::string Shortest(double value);
std::string Shortest(float value);

// Writes a WAV whose header is valid at every moment: a JUNK chunk keeps room
// for the ds64 chunk, so the file is an ordinary WAV until its RIFF size
// passes `rf64_above` bytes, and RF64 from then on. The sizes on disk are
// those of the last UpdateHeader or Close. LIST/INFO carries the task (INAM),
// the start (ICRD), the software (ISFT) and a description of every channel
// (ICMT); "<file>.channels.csv" beside it gives the channels as a table.
// Standard output ("-") gets sizes that say "unknown", as arecord writes them.
class WavWriter {
 public:
  explicit WavWriter(std::uint64_t rf64_above = 0xFFFFFFFF) : rf64_above_(rf64_above) {}
  // Creates the file and its sidecar, before anything is recorded.
  bool Open(const std::string& path);
  bool Begin(const RecordingInfo& info);
  bool Write(const std::int16_t* codes, std::int64_t frames);  // one write per call
  bool UpdateHeader();
  bool Close();
  void Discard();
  std::string Error() const;
  static std::string SidecarPath(const std::string& wav_path);

 private:
  std::vector<unsigned char> Header(std::uint64_t data_bytes);

  std::uint64_t rf64_above_;
  bool rf64_ = false;
  OutputFile file_;
  OutputFile sidecar_;
  std::uint64_t channels_ = 0;
  std::uint32_t rate_ = 0;
  std::string comment_;
  RecordingInfo info_;
  std::uint64_t header_bytes_ = 0;
  std::vector<std::int16_t> swapped_;  // big-endian hosts only
};

// One row per frame: frame number, time, and each channel in its unit. For a
// nominal-rate recording the time column is "read_time_s", the time at which
// adc-record fetched the frame; otherwise "time_s", the frame number / rate.
class CsvWriter {
 public:
  bool Open(const std::string& path);
  bool Begin(const RecordingInfo& info);
  bool Write(const std::int16_t* codes, std::int64_t frames, double read_time);
  bool Close() { return file_.Close(); }
  void Discard() { file_.Discard(); }
  std::string Error() const { return file_.Error(); }

 private:
  OutputFile file_;
  RecordingInfo info_;
  std::int64_t frame_ = 0;
  std::string text_;
};

}  // namespace tools
