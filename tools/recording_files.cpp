#include "tools/recording_files.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <sstream>

namespace tools {
namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;  // in RF64: the size is in ds64
constexpr std::uint32_t kDs64Bytes = 28;            // RIFF size, data size, frames, no table

class Bytes {
 public:
  explicit Bytes(std::vector<unsigned char>& out) : out_(out) {}
  Bytes& Id(const char* id) {
    out_.insert(out_.end(), id, id + 4);
    return *this;
  }
  // Little-endian, whatever the host's byte order.
  Bytes& Put(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return *this;
  }
  Bytes& Text(const std::string& text) {
    out_.insert(out_.end(), text.begin(), text.end());
    return *this;
  }

 private:
  std::vector<unsigned char>& out_;
};

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Comment(const RecordingInfo& info) {
  std::ostringstream text;
  text << "adc-record: task " << info.task << " on " << info.device << ", started " << info.start_utc << "\n"
       << info.channels.size() << " channels at " << Shortest(info.rate) << " frames/s"
       << (info.nominal_rate ? " (nominal: an on-demand task, frames are taken as they are read)" : "")
       << "; value = code / scale + offset\n";
  for (size_t c = 0; c < info.channels.size(); ++c) {
    const auto& ch = info.channels[c];
    text << "channel " << c << ": " << ch.name << "; unit " << ch.unit << "; range " << ch.range << "; scale "
         << Shortest(ch.scale) << "; offset " << Shortest(ch.offset) << "\n";
  }
  return text.str();
}

void PutFormat(Bytes& out, std::uint64_t channels, std::uint32_t rate) {
  const bool extensible = channels > 2;
  out.Id("fmt ").Put(extensible ? 40 : 16, 4);
  out.Put(extensible ? 0xFFFE : 1, 2);  // WAVE_FORMAT_EXTENSIBLE or PCM
  out.Put(channels, 2).Put(rate, 4);
  out.Put(rate * channels * 2, 4);  // bytes per second
  out.Put(channels * 2, 2).Put(16, 2);  // block align, bits
  if (!extensible) return;
  out.Put(22, 2).Put(16, 2);  // extension size, valid bits
  out.Put(0, 4);              // no speaker positions: these are measurement channels
  // KSDATAFORMAT_SUBTYPE_PCM {00000001-0000-0010-8000-00AA00389B71}
  out.Put(1, 4).Put(0, 2).Put(0x10, 2).Put(0x719B3800'AA000080ULL, 8);
}

void PutInfoText(Bytes& out, const char* id, const std::string& text) {
  const std::uint64_t size = text.size() + 1;  // with its NUL
  out.Id(id).Put(size, 4).Text(text).Put(0, 1);
  if (size & 1) out.Put(0, 1);
}

std::uint64_t InfoBytes(const std::string& text) { return 8 + text.size() + 1 + ((text.size() + 1) & 1); }

void PutInfo(Bytes& out, const RecordingInfo& info, const std::string& comment) {
  out.Id("LIST").Put(4 + InfoBytes(info.task) + InfoBytes(info.start_utc) + InfoBytes(info.software) +
                         InfoBytes(comment), 4);
  out.Id("INFO");
  PutInfoText(out, "INAM", info.task);
  PutInfoText(out, "ICRD", info.start_utc);
  PutInfoText(out, "ISFT", info.software);
  PutInfoText(out, "ICMT", comment);
}

bool WriteSidecar(OutputFile& out, const RecordingInfo& info) {
  std::string text = "channel,name,unit,range,scale,offset,task,device,start_utc,rate,rate_is_nominal,software\n";
  const std::string recording = CsvField(info.task) + ',' + CsvField(info.device) + ',' + info.start_utc + ',' +
                                Shortest(info.rate) + ',' + (info.nominal_rate ? "1" : "0") + ',' +
                                CsvField(info.software) + '\n';
  for (size_t c = 0; c < info.channels.size(); ++c) {
    const auto& ch = info.channels[c];
    text += std::to_string(c) + ',' + CsvField(ch.name) + ',' + CsvField(ch.unit) + ',' + CsvField(ch.range) +
            ',' + Shortest(ch.scale) + ',' + Shortest(ch.offset) + ',' + recording;
  }
  return out.Append(text.data(), text.size()) && out.Close();
}

template <typename T>
std::string ShortestOf(T value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace

std::string Shortest(double value) { return ShortestOf(value); }
std::string Shortest(float value) { return ShortestOf(value); }

std::string WavWriter::SidecarPath(const std::string& wav_path) {
  const auto dot = wav_path.find_last_of('.');
  const auto slash = wav_path.find_last_of("/\\");
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? wav_path.substr(0, dot) : wav_path) + ".channels.csv";
}

bool WavWriter::Open(const std::string& path) {
  if (!file_.Open(path)) return false;
  return file_.IsStream() || sidecar_.Open(SidecarPath(path));
}

std::vector<unsigned char> WavWriter::Header(std::uint64_t data_bytes) {
  const bool stream = file_.IsStream();
  std::uint64_t riff_bytes = header_bytes_ - 8 + data_bytes;
  if (stream) {  // unknown: the most whole frames a 32-bit signed size allows
    data_bytes = (0x7FFFFFFF - (header_bytes_ - 8)) / (2 * channels_) * (2 * channels_);
    riff_bytes = header_bytes_ - 8 + data_bytes;
  }
  std::vector<unsigned char> header;
  Bytes out(header);
  out.Id(rf64_ ? "RF64" : "RIFF").Put(rf64_ ? kUnknownSize : riff_bytes, 4).Id("WAVE");
  out.Id(rf64_ ? "ds64" : "JUNK").Put(kDs64Bytes, 4);
  if (rf64_) {
    out.Put(riff_bytes, 8).Put(data_bytes, 8).Put(data_bytes / (2 * channels_), 8).Put(0, 4);
  } else {
    out.Put(0, 8).Put(0, 8).Put(0, 8).Put(0, 4);
  }
  PutFormat(out, channels_, rate_);
  PutInfo(out, info_, comment_);
  out.Id("data").Put(rf64_ ? kUnknownSize : data_bytes, 4);
  return header;
}

bool WavWriter::Begin(const RecordingInfo& info) {
  info_ = info;
  channels_ = std::max<std::uint64_t>(1, info.channels.size());
  rate_ = static_cast<std::uint32_t>(std::lround(info.rate));
  comment_ = Comment(info);
  header_bytes_ = Header(0).size();
  const auto header = Header(0);
  if (!file_.Append(header.data(), header.size())) return false;
  return file_.IsStream() || WriteSidecar(sidecar_, info);
}

bool WavWriter::Write(const std::int16_t* codes, std::int64_t frames) {
  const auto count = static_cast<size_t>(frames) * channels_;
  if constexpr (std::endian::native == std::endian::little) return file_.Append(codes, count * 2);
  swapped_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const auto code = static_cast<std::uint16_t>(codes[i]);
    swapped_[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(code << 8 | code >> 8));
  }
  return file_.Append(swapped_.data(), count * 2);
}

// Claims only whole frames that reached the file, so a header written after a
// failed write still describes readable data.
bool WavWriter::UpdateHeader() {
  if (!file_.IsOpen() || header_bytes_ == 0 || file_.IsStream()) return !file_.Failed();
  const std::uint64_t written = file_.Size() > header_bytes_ ? file_.Size() - header_bytes_ : 0;
  const std::uint64_t data_bytes = written / (2 * channels_) * (2 * channels_);
  rf64_ = rf64_ || header_bytes_ - 8 + data_bytes > rf64_above_;
  const auto header = Header(data_bytes);
  return file_.Rewrite(0, header.data(), header.size()) && !file_.Failed();
}

bool WavWriter::Close() {
  UpdateHeader();
  return file_.Close() && sidecar_.Close();
}

void WavWriter::Discard() {
  file_.Discard();
  sidecar_.Discard();
}

std::string WavWriter::Error() const { return file_.Failed() ? file_.Error() : sidecar_.Error(); }

bool CsvWriter::Open(const std::string& path) { return file_.Open(path); }

bool CsvWriter::Begin(const RecordingInfo& info) {
  info_ = info;
  std::string header = info.nominal_rate ? "frame,read_time_s" : "frame,time_s";
  for (const auto& ch : info.channels) header += ',' + CsvField(ch.name + " [" + ch.unit + "]");
  header += '\n';
  return file_.Append(header.data(), header.size());
}

bool CsvWriter::Write(const std::int16_t* codes, std::int64_t frames, double read_time) {
  const auto n = info_.channels.size();
  const std::string time = info_.nominal_rate ? Shortest(read_time) : std::string();
  text_.clear();
  for (std::int64_t f = 0; f < frames; ++f, ++frame_) {
    text_ += std::to_string(frame_) + ',';
    text_ += info_.nominal_rate ? time : Shortest(static_cast<double>(frame_) / info_.rate);
    for (size_t c = 0; c < n; ++c) {
      const auto& ch = info_.channels[c];
      const double value = codes[static_cast<size_t>(f) * n + c] / static_cast<double>(ch.scale) + ch.offset;
      text_ += ',' + Shortest(value);
    }
    text_ += '\n';
  }
  return file_.Append(text_.data(), text_.size());
}

}  // namespace tools
