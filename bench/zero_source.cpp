// A source that costs nothing, for pipeline_bench: DAQmxReadAnalogF64 reports
// the samples asked for without writing them. Every other function comes from
// the simulated NI-DAQmx this library depends on (dlsym on this library's
// handle searches its dependencies), so the driver runs unchanged.
#include "daqmx/api.h"

extern "C" __attribute__((visibility("default"))) daqmx::int32 DAQmxReadAnalogF64(
    daqmx::TaskHandle /*taskHandle*/, daqmx::int32 numSampsPerChan, daqmx::float64 /*timeout*/,
    daqmx::bool32 /*fillMode*/, daqmx::float64 /*readArray*/[], daqmx::uInt32 /*arraySizeInSamps*/,
    daqmx::int32* sampsPerChanRead, daqmx::bool32* /*reserved*/) {
  if (sampsPerChanRead != nullptr) *sampsPerChanRead = numSampsPerChan > 0 ? numSampsPerChan : 0;
  return 0;
}
