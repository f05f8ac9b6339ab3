#include "tools/recording_files.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace tools {
namespace {

// Little-endian writes, whatever the host's byte order.
void Put(std::ofstream& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Comment(const std::vector<ChannelDescription>& channels, double rate) {
  std::ostringstream text;
  text << "adc-record: " << channels.size() << " channels at " << Number(rate)
       << " frames/s; value = code / scale + offset\n";
  for (size_t c = 0; c < channels.size(); ++c) {
    const auto& ch = channels[c];
    text << "channel " << c << ": " << ch.name << "; unit " << ch.unit << "; range " << ch.range << "; scale "
         << Number(ch.scale) << "; offset " << Number(ch.offset) << "\n";
  }
  return text.str();
}

void WriteFormat(std::ofstream& out, std::int64_t channels, std::uint32_t rate) {
  const bool extensible = channels > 2;
  out.write("fmt ", 4);
  Put(out, extensible ? 40 : 16, 4);
  Put(out, extensible ? 0xFFFE : 1, 2);  // WAVE_FORMAT_EXTENSIBLE or PCM
  Put(out, static_cast<std::uint64_t>(channels), 2);
  Put(out, rate, 4);
  Put(out, rate * static_cast<std::uint64_t>(channels) * 2, 4);  // bytes per second
  Put(out, static_cast<std::uint64_t>(channels) * 2, 2);         // block align
  Put(out, 16, 2);
  if (!extensible) return;
  Put(out, 22, 2);  // extension size
  Put(out, 16, 2);  // valid bits
  Put(out, 0, 4);   // no speaker positions: these are measurement channels
  // KSDATAFORMAT_SUBTYPE_PCM {00000001-0000-0010-8000-00AA00389B71}
  const unsigned char pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  out.write(reinterpret_cast<const char*>(pcm), 16);
}

void WriteInfo(std::ofstream& out, const std::string& comment) {
  const std::uint64_t text = comment.size() + 1;  // with its NUL
  const std::uint64_t padded = text + (text & 1);
  out.write("LIST", 4);
  Put(out, 4 + 8 + padded, 4);
  out.write("INFOICMT", 8);
  Put(out, text, 4);
  out.write(comment.c_str(), static_cast<std::streamsize>(text));
  if (padded != text) out.put('\0');
}

bool WriteSidecar(const std::string& path, const std::vector<ChannelDescription>& channels) {
  std::ofstream out(path, std::ios::binary);
  out << "channel,name,unit,range,scale,offset\n";
  for (size_t c = 0; c < channels.size(); ++c) {
    const auto& ch = channels[c];
    out << c << ',' << CsvField(ch.name) << ',' << CsvField(ch.unit) << ',' << CsvField(ch.range) << ','
        << Number(ch.scale) << ',' << Number(ch.offset) << '\n';
  }
  return static_cast<bool>(out);
}

}  // namespace

std::string WavWriter::SidecarPath(const std::string& wav_path) {
  const auto dot = wav_path.find_last_of('.');
  const auto slash = wav_path.find_last_of("/\\");
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? wav_path.substr(0, dot) : wav_path) + ".channels.csv";
}

bool WavWriter::Open(const std::string& path, const std::vector<ChannelDescription>& channels, double rate) {
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_) return false;
  channels_ = static_cast<std::int64_t>(channels.size());
  file_.write("RIFF", 4);
  riff_size_at_ = file_.tellp();
  Put(file_, 0, 4);
  file_.write("WAVE", 4);
  WriteFormat(file_, channels_, static_cast<std::uint32_t>(std::lround(rate)));
  WriteInfo(file_, Comment(channels, rate));
  file_.write("data", 4);
  data_size_at_ = file_.tellp();
  Put(file_, 0, 4);
  return static_cast<bool>(file_) && WriteSidecar(SidecarPath(path), channels);
}

bool WavWriter::Write(const std::int16_t* codes, std::int64_t frames) {
  const std::int64_t count = frames * channels_;
  for (std::int64_t i = 0; i < count; ++i) Put(file_, static_cast<std::uint16_t>(codes[i]), 2);
  data_bytes_ += count * 2;
  return static_cast<bool>(file_);
}

bool WavWriter::Close() {
  if (!file_.is_open()) return true;
  // RIFF sizes are 32-bit: a longer recording keeps what fits.
  const auto data = static_cast<std::uint64_t>(std::min<std::int64_t>(data_bytes_, 0xFFFFFFF0LL));
  const auto end = file_.tellp();
  file_.seekp(data_size_at_);
  Put(file_, data, 4);
  file_.seekp(riff_size_at_);
  Put(file_, static_cast<std::uint64_t>(end) - 8, 4);
  file_.close();
  return !file_.fail();
}

bool CsvWriter::Open(const std::string& path, const std::vector<ChannelDescription>& channels, double rate) {
  file_.open(path, std::ios::binary | std::ios::trunc);
  channels_ = channels;
  rate_ = rate > 0 ? rate : 1;
  file_ << "frame,time_s";
  for (const auto& ch : channels) file_ << ',' << CsvField(ch.name + " [" + ch.unit + "]");
  file_ << '\n';
  return static_cast<bool>(file_);
}

bool CsvWriter::Write(const std::int16_t* codes, std::int64_t frames) {
  const auto n = static_cast<std::int64_t>(channels_.size());
  for (std::int64_t f = 0; f < frames; ++f, ++frame_) {
    file_ << frame_ << ',' << Number(static_cast<double>(frame_) / rate_);
    for (std::int64_t c = 0; c < n; ++c) {
      const auto& ch = channels_[static_cast<size_t>(c)];
      file_ << ',' << Number(codes[f * n + c] / ch.scale + ch.offset);
    }
    file_ << '\n';
  }
  return static_cast<bool>(file_);
}

bool CsvWriter::Close() {
  if (!file_.is_open()) return true;
  file_.close();
  return !file_.fail();
}

}  // namespace tools
