// The acquisition engine: sizes the ring, starts the task and the worker
// thread that reads blocks, converts them and stores them in the ring.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/state.h"

namespace driver {

// Frames per read: the smallest power of two lasting at least 40 ms at
// `rate`, unless twice the block would reach the ring's `ring_frames`.
std::int32_t BlockKadrs(double rate, std::int32_t ring_frames);
// Ring size in frames for the requested size in codes and the channel count.
std::int32_t SizeBuffer(DriverState& state);
// Rebuilds the channel model, sizes and clears the ring, takes the timing
// from the task, starts it and the worker. False with mLastError set (to
// NI-DAQmx's text when the task's channels cannot be read) when it cannot.
bool StartAcquisition(const std::shared_ptr<DriverState>& state);
// Tells the worker to stop, gives it up to 100 ms, and stops the task.
void StopRecord(DriverState& state);
// Stops any acquisition and waits until the worker has ended.
void StopAndJoin(DriverState& state);
// Frames waiting in the ring; also stored as the host's InputCountKadrs.
std::int32_t CountWaiting(DriverState& state);
// Acquisition workers alive in this process (for unloading and for tests).
int LiveWorkers();
// Wakes a worker that waits for room in the ring or for the drain.
void WakeWorker(DriverState& state);

}  // namespace driver
