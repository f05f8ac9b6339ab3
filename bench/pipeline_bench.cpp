// The whole acquisition path in frames per second: the simulated NI-DAQmx
// free-running, the worker, the conversion, the ring, and the host's GetData.
// In the same run: the simulator's own reads into a buffer, without the
// driver, and the driver fed by a source that costs nothing. The pipeline is
// bound by the slower of the two; samples per second = frames x channels.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "daqmx/library.h"
#include "daqmx/ni_task.h"
#include "driver/ni_daqmx_task.h"
#include "platform/system.h"

namespace {

std::string SimulatorPath() { return platform::FolderOf(platform::ThisModulePath()) + "/libnidaqmx.so.1"; }
std::string ZeroSourcePath() { return platform::FolderOf(platform::ThisModulePath()) + "/libzero_source.so"; }

// A free-running task of `channels` counting channels, written once per run.
std::string WriteConfig(int channels) {
  std::string list;
  std::string sections;
  for (int c = 0; c < channels; ++c) {
    const std::string name = "ch" + std::to_string(c);
    list += (c ? ", " : "") + std::string("Bench/") + name;
    sections += "[DAQmxChannel Bench/" + name + "]\nChanType = Analog Input\nPhysicalChanName = Dev1/ai" +
                std::to_string(c) + "\nAI.Min = -10\nAI.Max = 10\nSim.Signal = Counter\n\n";
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("niadc-bench-" + std::to_string(channels) + ".ini")).string();
  std::ofstream(path) << "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n\n[DAQmxTask Bench]\nChannels = " << list
                      << "\nSampClk.Rate = 100000\nSampQuant.SampMode = Continuous Samples\n"
                         "SampTimingType = Sample Clock\nSim.FreeRunning = 1\nSim.MaxRate = 1e9\n\n"
                      << sections << "[DAQmxDevice Dev1]\nProductType = PCIe-6363\nSim.AIChannels = 64\n";
  return path;
}

void UseSimulator(int channels, const std::string& library = SimulatorPath()) {
  platform::SetEnv("NIDAQMX_LIBRARY", library);
  platform::SetEnv("NIDAQMX_SIM_CONFIG", WriteConfig(channels));
}

// Frames through the driver: StartRecord, then GetData as a host does.
void RunDriver(benchmark::State& state, const std::string& library) {
  const int channels = static_cast<int>(state.range(0));
  UseSimulator(channels, library);
  driver::NI_DAQmx_Task adc;
  if (!adc.Test()) {
    state.SkipWithError("no usable task in the simulated NI-DAQmx");
    return;
  }
  if (!adc.StartRecord()) {
    state.SkipWithError(("driver did not start: " + adc.LastError()).c_str());
    return;
  }
  std::vector<std::int16_t> buffer(static_cast<size_t>(adc.InputSizeData()));
  std::int64_t frames = 0;
  for (auto _ : state) {
    std::int32_t size = static_cast<std::int32_t>(buffer.size());
    std::int32_t waiting = 0;
    frames += adc.GetData(buffer.data(), size, waiting);
  }
  adc.StopRecord();
  state.SetItemsProcessed(frames);
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["samples_per_second"] =
      benchmark::Counter(static_cast<double>(frames) * channels, benchmark::Counter::kIsRate);
}

void BM_Pipeline(benchmark::State& state) { RunDriver(state, SimulatorPath()); }
void BM_DriverZeroCostSource(benchmark::State& state) { RunDriver(state, ZeroSourcePath()); }

// The same frames read straight from the simulator, block by block.
void BM_RawSimulatorReads(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  UseSimulator(channels);
  daqmx::cNITask task(daqmx::Library::Load(SimulatorPath()));
  if (!task.LoadTask(0) || !task.StartTask()) {
    state.SkipWithError(("simulator did not start: " + task.StatusText()).c_str());
    return;
  }
  constexpr int kBlock = 4096;
  std::vector<double> block(static_cast<size_t>(kBlock * channels));
  std::int64_t frames = 0;
  for (auto _ : state) frames += task.ReadSamples(kBlock, 1.0, block.data(), kBlock * channels);
  task.StopTask();
  state.SetItemsProcessed(frames);
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["samples_per_second"] =
      benchmark::Counter(static_cast<double>(frames) * channels, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RawSimulatorReads)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Pipeline)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_DriverZeroCostSource)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->UseRealTime()->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
