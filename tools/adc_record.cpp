// adc-record: drives the driver the way the recording program does and
// writes what it records to files.
//
// Create the driver, Test, describe the device and its channels, optionally
// set the ring size, StartRecord, fetch with GetData while Busy, StopRecord.
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

#include "daqmx/library.h"
#include "tools/adc_host.h"
#include "tools/recording_files.h"
#include "tools/task_list.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  double stall_seconds = 10;
};

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

void PrintDevice(tools::Adc& adc, const std::vector<tools::ChannelDescription>& channels) {
  std::printf("Device      %s\n", adc.ADCName().c_str());
  std::printf("Resolution  %d bits\n", adc.Resolution());
  std::printf("Rate        %g frames/s (maximum %g)\n", adc.Rate(), adc.RateMax());
  if (adc.InputSizeKadrs() > 0) {
    std::printf("Ring        %d frames, %d codes\n", adc.InputSizeKadrs(), adc.InputSizeData());
  } else {
    std::printf("Ring        sized at the start\n");
  }
  std::printf("\n  #  %-20s %-14s %-6s %14s %12s\n", "Channel", "Range", "Unit", "Scale", "Offset");
  for (size_t c = 0; c < channels.size(); ++c) {
    const auto& ch = channels[c];
    std::printf("%3zu  %s %s %s %14.6g %12.6g\n", c, Pad(ch.name, 20).c_str(), Pad(ch.range, 14).c_str(),
                Pad(ch.unit, 6).c_str(), ch.scale, ch.offset);
  }
  std::fflush(stdout);
}

// Counts codes at the ends of the 16-bit range: the input was out of range.
struct ClipCounter {
  std::vector<std::int64_t> clipped;
  void Add(const std::int16_t* codes, std::int64_t frames) {
    const auto n = static_cast<std::int64_t>(clipped.size());
    for (std::int64_t i = 0; i < frames * n; ++i) {
      if (codes[i] == 32767 || codes[i] == -32768) ++clipped[static_cast<size_t>(i % n)];
    }
  }
};

class Progress {
 public:
  explicit Progress(Clock::time_point start) : start_(start), last_(start) {}
  void Show(std::int64_t frames, const ClipCounter& clips, bool final_line) {
    const auto now = Clock::now();
    if (!final_line && now - last_ < std::chrono::milliseconds(100)) return;  // at most ten lines a second
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string clip_text;
    for (auto count : clips.clipped) clip_text += (clip_text.empty() ? "" : "/") + std::to_string(count);
    std::fprintf(stderr, "\r%8.1f s  %12lld frames  %10.1f frames/s  clipped %s ", elapsed,
                 static_cast<long long>(frames), elapsed > 0 ? static_cast<double>(frames) / elapsed : 0.0,
                 clip_text.c_str());
    if (final_line) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  Clock::time_point start_;
  Clock::time_point last_;
};

struct Sinks {
  tools::WavWriter wav;
  tools::CsvWriter csv;
  bool has_wav = false;
  bool has_csv = false;
  bool Write(const std::int16_t* codes, std::int64_t frames) {
    return (!has_wav || wav.Write(codes, frames)) && (!has_csv || csv.Write(codes, frames));
  }
  bool Close() { return wav.Close() & csv.Close(); }
};

bool OpenSinks(Sinks& sinks, const Options& options, const std::vector<tools::ChannelDescription>& channels,
               double rate) {
  sinks.has_wav = !options.wav.empty();
  sinks.has_csv = !options.csv.empty();
  if (sinks.has_wav && !sinks.wav.Open(options.wav, channels, rate)) {
    std::fprintf(stderr, "adc-record: cannot write %s\n", options.wav.c_str());
    return false;
  }
  if (sinks.has_csv && !sinks.csv.Open(options.csv, channels, rate)) {
    std::fprintf(stderr, "adc-record: cannot write %s\n", options.csv.c_str());
    return false;
  }
  return true;
}

// Fetches while the acquisition runs, until the frame limit, Ctrl+C, or the
// driver's own end of a finite task. Returns the exit code.
int Record(tools::Adc& adc, const Options& options, Sinks& sinks, std::int64_t limit) {
  const std::int32_t channels = adc.InputCountChannels();
  std::vector<std::int16_t> buffer(static_cast<size_t>(std::max(adc.InputSizeData(), channels)));
  ClipCounter clips{std::vector<std::int64_t>(static_cast<size_t>(channels), 0)};
  const auto start = Clock::now();
  Progress progress(start);
  std::int64_t frames = 0;
  auto last_data = start;
  int result = kOk;
  while (!g_interrupted.load() && frames < limit) {
    const bool busy = adc.Busy();  // read before fetching, so nothing stored before the end is missed
    std::int32_t size = static_cast<std::int32_t>(buffer.size());
    std::int32_t waiting = 0;
    const std::int64_t got = std::min<std::int64_t>(adc.GetData(buffer.data(), size, waiting), limit - frames);
    if (got > 0) {
      clips.Add(buffer.data(), got);
      if (!sinks.Write(buffer.data(), got)) {
        std::fprintf(stderr, "\nadc-record: writing the output failed\n");
        result = kFileError;
        break;
      }
      frames += got;
      last_data = Clock::now();
    } else if (!busy) {
      break;  // a finite task has delivered everything
    } else if (Clock::now() - last_data > std::chrono::duration<double>(options.stall_seconds)) {
      std::fprintf(stderr, "\nadc-record: no data arrived for %g s; NI-DAQmx stopped delivering samples\n",
                   options.stall_seconds);
      result = kStalled;
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    progress.Show(frames, clips, false);
  }
  adc.StopRecord();
  progress.Show(frames, clips, true);
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

int Run(const Options& options) {
  auto adc = OpenAdc(options);
  if (!adc) return kNoTask;
  if (!adc->Test()) {
    if (const auto library = daqmx::Library::Default(); !library->Loaded()) {
      std::fprintf(stderr, "adc-record: %s\n", library->LoadError().c_str());
    } else if (!options.task.empty()) {
      std::fprintf(stderr, "adc-record: no usable NI-DAQmx task: %s\n", options.task.c_str());
    } else {
      std::fprintf(stderr,
                   "adc-record: no usable NI-DAQmx task: no saved task has an analog input as its first channel, "
                   "or several have and none was chosen (--task NAME)\n");
    }
    return kNoTask;
  }
  if (options.ring) adc->SetInputSizeData(*options.ring);
  const auto channels = DescribeChannels(*adc);
  if (options.list) {
    PrintDevice(*adc, channels);
    return kOk;
  }
  if (!adc->StartRecord()) {
    std::fprintf(stderr, "adc-record: the acquisition did not start: %s\n",
                 adc->LastError().empty() ? "the task has no channel" : adc->LastError().c_str());
    return kStartFailed;
  }
  PrintDevice(*adc, channels);  // after the start: the ring and rate are those of this acquisition
  Sinks sinks;
  if (!OpenSinks(sinks, options, channels, adc->Rate())) {
    adc->StopRecord();
    return kFileError;
  }
  std::int64_t limit = std::numeric_limits<std::int64_t>::max();
  if (options.frames) limit = *options.frames;
  if (options.seconds) limit = std::min(limit, static_cast<std::int64_t>(std::llround(*options.seconds * adc->Rate())));
  int result = Record(*adc, options, sinks, limit);
  if (!sinks.Close() && result == kOk) result = kFileError;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"adc-record: records a saved NI-DAQmx task through the NI-DAQmx-Task driver"};
  Options options;
  app.add_option("--task", options.task, "Saved task to use when several qualify (answers the driver's choice)");
#ifdef _WIN32
  app.add_option("--driver", options.driver,
                 "NI.adc file to load without registration (default: the registered NI.NI_DAQmx_Task)");
#endif
  app.add_option("--seconds", options.seconds, "Stop after this many seconds of frames")->check(CLI::PositiveNumber);
  app.add_option("--frames", options.frames, "Stop after this many frames")->check(CLI::PositiveNumber);
  app.add_option("--ring", options.ring, "Ring size request in codes (the driver's InputSizeData)");
  app.add_option("--out", options.wav, "Write 16-bit PCM WAV (channel units in FILE.channels.csv beside it)");
  app.add_option("--csv", options.csv, "Write the frames as CSV in the channels' units");
  app.add_option("--stall", options.stall_seconds, "Give up when no data arrives for this long (s)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--list", options.list, "Describe the device and its channels, record nothing");
  app.add_flag("--tasks", options.tasks, "List every saved NI-DAQmx task with its channels and devices");
  CLI11_PARSE(app, argc, argv);
  if (options.tasks) return tools::PrintSavedTasks(stdout) ? kOk : kNoTask;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  return Run(options);
}
