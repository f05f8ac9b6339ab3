// adc-record: drives the driver the way the recording program does and
// writes what it records to files.
//
// Create the driver, Test, describe the device and its channels, optionally
// set the ring size, open the outputs, StartRecord, fetch with GetData while
// Busy, StopRecord.
#include <CLI/CLI.hpp>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tools/adc_host.h"
#include "tools/recording_files.h"
#include "tools/task_list.h"

#ifndef NIADC_VERSION
#define NIADC_VERSION "0"
#endif

namespace {

using Clock = std::chrono::steady_clock;

const char* const kSoftware = "adc-record " NIADC_VERSION;

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

enum Exit { kOk = 0, kUsage = 1, kNoTask = 2, kStartFailed = 3, kFileError = 4, kStalled = 5 };

struct Options {
  std::string task;
  std::string driver;
  std::optional<double> seconds;
  std::optional<std::int64_t> frames;
  std::optional<std::int32_t> ring;
  std::string wav;
  std::string csv;
  bool list = false;
  bool tasks = false;
  bool quiet = false;
  bool progress = false;
  double stall_seconds = 10;
};

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
  char full[48];
  std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(millis));
  return full;
}

std::vector<tools::ChannelDescription> DescribeChannels(tools::Adc& adc) {
  const auto ranges = adc.Ranges();
  std::vector<tools::ChannelDescription> channels;
  for (std::int16_t c = 0; c < adc.ChannelsCount(); ++c) {
    const auto range = static_cast<size_t>(adc.ChannelRange(c));
    channels.push_back({adc.ChannelName(c), adc.ChannelUnitName(c), range < ranges.size() ? ranges[range] : "",
                        adc.ChannelUnitScale(c), adc.ChannelUnitOffset(c)});
  }
  return channels;
}

// Pads to a width in characters, not bytes: range texts carry "±" and units "°".
std::string Pad(const std::string& text, size_t width) {
  size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  return text + std::string(width > characters ? width - characters : 0, ' ');
}

void PrintDevice(std::FILE* out, tools::Adc& adc, const tools::RecordingInfo& info) {
  std::fprintf(out, "Task        %s\n", info.task.c_str());
  std::fprintf(out, "Device      %s\n", info.device.c_str());
  std::fprintf(out, "Resolution  %d bits\n", adc.Resolution());
  std::fprintf(out, "Rate        %g frames/s%s (maximum %g)\n", info.rate, info.nominal_rate ? " nominal, on demand" : "",
               adc.RateMax());
  if (adc.InputSizeKadrs() > 0) {
    std::fprintf(out, "Ring        %d frames, %d codes\n", adc.InputSizeKadrs(), adc.InputSizeData());
  } else {
    std::fprintf(out, "Ring        sized at the start\n");
  }
  std::fprintf(out, "\n  #  %-20s %-14s %-6s %14s %12s\n", "Channel", "Range", "Unit", "Scale", "Offset");
  for (size_t c = 0; c < info.channels.size(); ++c) {
    const auto& ch = info.channels[c];
    std::fprintf(out, "%3zu  %s %s %s %14s %12s\n", c, Pad(ch.name, 20).c_str(), Pad(ch.range, 14).c_str(),
                 Pad(ch.unit, 6).c_str(), tools::Shortest(ch.scale).c_str(), tools::Shortest(ch.offset).c_str());
  }
  std::fflush(out);
}

// Channels that had codes at the ends of the 16-bit range: input out of range.
struct ClipCounter {
  std::vector<bool> clipped;
  void Add(const std::int16_t* codes, std::int64_t frames) {
    const auto n = static_cast<std::int64_t>(clipped.size());
    for (std::int64_t i = 0; i < frames * n; ++i) {
      if (codes[i] == 32767 || codes[i] == -32768) clipped[static_cast<size_t>(i % n)] = true;
    }
  }
  long Count() const { return std::count(clipped.begin(), clipped.end(), true); }
};

// One line on standard error, at most ten times a second, at most 79 columns.
class Progress {
 public:
  Progress(Clock::time_point start, bool enabled) : start_(start), last_(start), enabled_(enabled) {}
  void Show(std::int64_t frames, const ClipCounter& clips, bool final_line) {
    const auto now = Clock::now();
    if (!enabled_ || (!final_line && now - last_ < std::chrono::milliseconds(100))) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char line[128];
    std::snprintf(line, sizeof line, "%8.1f s %13lld frames %11.1f frames/s  clipped %ld/%zu ch", elapsed,
                  static_cast<long long>(frames), elapsed > 0 ? static_cast<double>(frames) / elapsed : 0.0,
                  clips.Count(), clips.clipped.size());
    line[79] = '\0';
    std::fprintf(stderr, "\r%s%s", line, final_line ? "\n" : "");
    std::fflush(stderr);
  }

 private:
  Clock::time_point start_;
  Clock::time_point last_;
  bool enabled_;
};

struct Outputs {
  tools::WavWriter wav;
  tools::CsvWriter csv;
  bool has_wav = false;
  bool has_csv = false;
  std::string error;

  bool Fail(const std::string& text) {
    if (error.empty()) error = text;
    return false;
  }
  // Before the start: a path that cannot be written stops here, with nothing left behind.
  bool Open(const Options& options) {
    has_wav = !options.wav.empty();
    has_csv = !options.csv.empty();
    if ((has_wav && !wav.Open(options.wav)) || (has_csv && !csv.Open(options.csv))) {
      Fail(has_wav && !wav.Error().empty() ? wav.Error() : csv.Error());
      Discard();
      return false;
    }
    return true;
  }
  bool Begin(const tools::RecordingInfo& info) {
    return (!has_wav || wav.Begin(info) || Fail(wav.Error())) && (!has_csv || csv.Begin(info) || Fail(csv.Error()));
  }
  bool Write(const std::int16_t* codes, std::int64_t frames, double read_time) {
    return (!has_wav || wav.Write(codes, frames) || Fail(wav.Error())) &&
           (!has_csv || csv.Write(codes, frames, read_time) || Fail(csv.Error()));
  }
  bool UpdateHeader() { return !has_wav || wav.UpdateHeader() || Fail(wav.Error()); }
  bool Close() {
    const bool wav_closed = !has_wav || wav.Close() || Fail(wav.Error());
    const bool csv_closed = !has_csv || csv.Close() || Fail(csv.Error());
    return wav_closed && csv_closed;
  }
  void Discard() {
    if (has_wav) wav.Discard();
    if (has_csv) csv.Discard();
  }
};

// About a tenth of a second of frames, at least one, at most the ring.
std::int32_t FetchFrames(tools::Adc& adc, double rate) {
  const std::int32_t channels = std::max<std::int32_t>(1, adc.InputCountChannels());
  const std::int32_t ring = std::max(1, adc.InputSizeData() / channels);
  return static_cast<std::int32_t>(std::clamp<double>(std::ceil(rate / 10), 1, ring));
}

// Fetches while the acquisition runs, until the frame limit, Ctrl+C, or the
// driver's own end of a finite task. Returns the exit code.
int Record(tools::Adc& adc, const Options& options, Outputs& outputs, const tools::RecordingInfo& info,
           std::int64_t limit) {
  const std::int32_t channels = adc.InputCountChannels();
  std::vector<std::int16_t> buffer(static_cast<size_t>(FetchFrames(adc, info.rate)) * static_cast<size_t>(channels));
  ClipCounter clips{std::vector<bool>(static_cast<size_t>(channels), false)};
  const auto start = Clock::now();
  Progress progress(start, !options.quiet && (options.progress || StderrIsTerminal()));
  std::int64_t frames = 0;
  auto last_data = start;
  auto last_header = start;
  int result = kOk;
  while (!g_interrupted.load() && frames < limit) {
    const bool busy = adc.Busy();  // read before fetching, so nothing stored before the end is missed
    std::int32_t size = static_cast<std::int32_t>(buffer.size());
    std::int32_t waiting = 0;
    const std::int64_t got = std::min<std::int64_t>(adc.GetData(buffer.data(), size, waiting), limit - frames);
    const auto now = Clock::now();
    if (got > 0) {
      clips.Add(buffer.data(), got);
      if (!outputs.Write(buffer.data(), got, std::chrono::duration<double>(now - start).count())) {
        result = kFileError;
        break;
      }
      frames += got;
      last_data = now;
    } else if (!busy) {
      break;  // a finite task has delivered everything
    } else if (now - last_data > std::chrono::duration<double>(options.stall_seconds)) {
      result = kStalled;
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (now - last_header >= std::chrono::seconds(1)) {  // a reader sees at most a second less than was written
      last_header = now;
      if (!outputs.UpdateHeader()) {
        result = kFileError;
        break;
      }
    }
    progress.Show(frames, clips, false);
  }
  adc.StopRecord();
  progress.Show(frames, clips, true);
  if (result == kStalled) {
    const std::string reason = adc.LastError();
    std::fprintf(stderr,
                 "adc-record: no data arrived for %g s. Likely causes: NI-DAQmx's buffer overran while this "
                 "computer fell behind, or the device was removed.%s%s\n",
                 options.stall_seconds, reason.empty() ? "" : " The driver says: ", reason.c_str());
  }
  return result;
}

// Windows: the driver through COM, as the recording program uses it;
// elsewhere the driver object in this process.
std::unique_ptr<tools::Adc> OpenAdc(const Options& options) {
#ifdef _WIN32
  std::string error;
  auto adc = tools::OpenComAdc(options.driver.empty() ? "NI.NI_DAQmx_Task" : options.driver, options.task, error);
  if (!adc) std::fprintf(stderr, "adc-record: %s\n", error.c_str());
  return adc;
#else
  return tools::OpenDirectAdc(options.task);
#endif
}

// The saved task the driver will take: checked before the driver asks anyone.
std::optional<tools::TaskScan> CheckTask(const Options& options) {
  auto scan = tools::ScanCandidates();
  if (scan.candidates.empty()) {
    std::fprintf(stderr, "adc-record: no usable NI-DAQmx task: %s\n", scan.problem.c_str());
    return std::nullopt;
  }
  if (options.task.empty()) return scan;
  for (const auto& c : scan.candidates) {
    if (c.name == options.task) return scan;
  }
  std::fprintf(stderr,
               "adc-record: no usable NI-DAQmx task: \"%s\" is not a saved task whose first channel is analog "
               "input. Candidates: %s\n",
               options.task.c_str(), tools::CandidateNames(scan.candidates).c_str());
  return std::nullopt;
}

tools::RecordingInfo Describe(tools::Adc& adc, const tools::TaskScan& scan) {
  tools::RecordingInfo info;
  info.software = kSoftware;
  info.device = adc.ADCName();
  info.rate = adc.Rate();
  info.channels = DescribeChannels(adc);
  for (const auto& c : scan.candidates) {
    if (c.index == adc.BasePort() - 1) {
      info.task = c.name;
      info.nominal_rate = c.on_demand;
    }
  }
  return info;
}

std::int64_t FrameLimit(const Options& options, double rate) {
  double limit = options.frames ? static_cast<double>(*options.frames) : HUGE_VAL;
  if (options.seconds) limit = std::min(limit, std::max(1.0, std::round(*options.seconds * rate)));
  return limit < 9e18 ? static_cast<std::int64_t>(limit) : std::numeric_limits<std::int64_t>::max();
}

int Run(const Options& options) {
  const auto scan = CheckTask(options);
  if (!scan) return kNoTask;
  auto adc = OpenAdc(options);
  if (!adc) return kNoTask;
  if (!adc->Test()) {
    if (options.task.empty() && scan->candidates.size() > 1) {
      std::fprintf(stderr, "adc-record: several saved tasks qualify; choose one with --task NAME: %s\n",
                   tools::CandidateNames(scan->candidates).c_str());
    } else {
      std::fprintf(stderr, "adc-record: no usable NI-DAQmx task: the driver found none%s%s\n",
                   adc->LastError().empty() ? "" : ": ", adc->LastError().c_str());
    }
    return kNoTask;
  }
  if (options.ring) adc->SetInputSizeData(*options.ring);
  std::FILE* table = options.wav == "-" || options.csv == "-" ? stderr : stdout;
  if (options.list) {
    PrintDevice(stdout, *adc, Describe(*adc, *scan));
    return kOk;
  }
  Outputs outputs;
  if (!outputs.Open(options)) {
    std::fprintf(stderr, "adc-record: %s\n", outputs.error.c_str());
    return kFileError;
  }
  if (!adc->StartRecord()) {
    outputs.Discard();
    std::fprintf(stderr, "adc-record: the acquisition did not start: %s\n",
                 adc->LastError().empty() ? "the task has no channel" : adc->LastError().c_str());
    return kStartFailed;
  }
  auto info = Describe(*adc, *scan);  // after the start: the ring and rate are those of this acquisition
  info.start_utc = UtcNow();
  if (!options.quiet) PrintDevice(table, *adc, info);
  int result = outputs.Begin(info) ? Record(*adc, options, outputs, info, FrameLimit(options, info.rate)) : kFileError;
  if (result == kFileError) adc->StopRecord();
  if (!outputs.Close() && result == kOk) result = kFileError;
  if (result == kFileError) std::fprintf(stderr, "adc-record: %s\n", outputs.error.c_str());
  return result;
}

// Parses the text in place as a finite number above zero; an error text otherwise.
std::string PositiveSeconds(std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0) {
    return "must be a finite number of seconds above 0, not \"" + text + "\"";
  }
  return {};
}

template <typename T>
CLI::Validator PositiveCount() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        T value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
          return "must be a whole number from 1 to " + std::to_string(std::numeric_limits<T>::max()) + ", not \"" +
                 text + "\"";
        }
        return {};
      },
      "");
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return path == "-" ? path : std::filesystem::weakly_canonical(std::filesystem::absolute(path), ignored).string();
}

// Two outputs on one file would overwrite each other.
std::string SamePathProblem(const Options& options) {
  if (!options.wav.empty() && !options.csv.empty() && Absolute(options.wav) == Absolute(options.csv)) {
    return "--out and --csv name the same file: " + options.csv;
  }
  if (!options.wav.empty() && options.wav != "-" && !options.csv.empty() &&
      Absolute(tools::WavWriter::SidecarPath(options.wav)) == Absolute(options.csv)) {
    return "--csv names the file that --out writes its channels to: " + options.csv;
  }
  return {};
}

const char* const kFooter = R"(Environment:
  NIDAQMX_LIBRARY     NI-DAQmx library to load instead of the installed one
                      (e.g. the simulated libnidaqmx.so.1)
  NIDAQMX_SIM_CONFIG  the simulator's configuration file (NI MAX export)
  NIADC_TASK          saved task the driver takes when several qualify
                      (--task sets it)

Exit codes:
  0 done (also after Ctrl+C or SIGTERM: the files are complete)
  1 usage
  2 no usable task
  3 the acquisition did not start
  4 a file could not be written
  5 no data arrived for --stall seconds

Examples:
  adc-record -t Demo4ch -d 10 -o demo.wav
  adc-record -t Demo4ch -o - | sox -t wav - -n stat)";

int Parse(CLI::App& app, Options& options, int argc, char** argv) {
  app.set_version_flag("--version", kSoftware);
  app.get_formatter()->column_width(26);
  app.add_option("-t,--task", options.task,
                 "Saved task to record; needed when several qualify\n(default: the only one)")
      ->type_name("NAME");
#ifdef _WIN32
  app.add_option("--driver", options.driver,
                 "NI.adc file to load without registration\n(default: the registered NI.NI_DAQmx_Task)")
      ->type_name("FILE");
#endif
  app.add_option("-d,--seconds", options.seconds,
                 "Stop after this many seconds\n(default: at a finite task's end, or on Ctrl+C)")
      ->type_name("S")
      ->check(CLI::Validator(PositiveSeconds, ""));
  app.add_option("--frames", options.frames, "Stop after this many frames")
      ->type_name("N")
      ->check(PositiveCount<std::int64_t>());
  app.add_option("--ring", options.ring, "Ring size request in codes, the driver's\nInputSizeData (default: the driver's)")
      ->type_name("CODES")
      ->check(PositiveCount<std::int32_t>());
  app.add_option("-o,--out", options.wav,
                 "Write 16-bit PCM WAV, RF64 beyond 4 GiB, with\nFILE.channels.csv beside it; - for standard output")
      ->type_name("FILE");
  app.add_option("--csv", options.csv, "Write the frames as CSV in the channels' units;\n- for standard output")
      ->type_name("FILE");
  app.add_option("--stall", options.stall_seconds, "Give up when no data arrives for this long\n(default: 10)")
      ->type_name("S")
      ->check(CLI::Validator(PositiveSeconds, ""));
  app.add_flag("-q,--quiet", options.quiet, "Print neither the device table nor progress");
  app.add_flag("--progress", options.progress, "Show progress even when standard error is not\na terminal");
  app.add_flag("--list", options.list, "Describe the device and its channels, record\nnothing");
  app.add_flag("--tasks", options.tasks, "List every saved task with its channels and\ndevices");
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);  // prints help, the version, or the problem
    return code == 0 ? kOk : kUsage;
  }
  if (const auto problem = SamePathProblem(options); !problem.empty()) {
    std::fprintf(stderr, "adc-record: %s\n", problem.c_str());
    return kUsage;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Records a saved NI-DAQmx task through the NI-DAQmx-Task driver.", "adc-record"};
  Options options;
  if (const int parsed = Parse(app, options, argc, argv); parsed >= 0) return parsed;
  if (options.tasks) return tools::PrintSavedTasks(stdout) ? kOk : kNoTask;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  return Run(options);
}
