// Several threads on one task, as a host's worker reads while its main
// thread queries, stops or clears; and handles that are not (or no longer) valid.
#include <atomic>
#include <future>
#include <set>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;
using std::chrono::milliseconds;

class Concurrency : public SimTest {};

struct ReadOutcome {
  int32 status;
  int32 read;
};

// Starts a read of 10 s worth of samples that can only end early when woken.
std::future<ReadOutcome> BlockedRead(TaskHandle handle) {
  return std::async(std::launch::async, [handle] {
    std::vector<float64> data(40000);
    int32 read = -1;
    const int32 status = Api().DAQmxReadAnalogF64(handle, 10000, val::kWaitInfinitely, val::kGroupByScanNumber,
                                                  data.data(), 40000, &read, nullptr);
    return ReadOutcome{status, read};
  });
}

TEST_F(Concurrency, StopWakesABlockedReader) {
  for (const bool started_by_read : {false, true}) {
    SCOPED_TRACE(started_by_read ? "started by the read" : "started first");
    LoadedTask task("Demo4ch");
    if (!started_by_read) {
      ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
    }
    auto reader = BlockedRead(task.Handle());
    std::this_thread::sleep_for(milliseconds(50));
    daqmx::bool32 done = 1;
    EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
    EXPECT_EQ(done, 0u);
    ASSERT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    const ReadOutcome outcome = reader.get();
    EXPECT_EQ(outcome.status, st::kSamplesWillNeverBeAvailable);
    EXPECT_EQ(outcome.read, 0);
  }
}

TEST_F(Concurrency, ClearWakesABlockedReaderWithInvalidTask) {
  TaskHandle handle = nullptr;
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &handle), 0);
  ASSERT_EQ(Api().DAQmxStartTask(handle), 0);
  auto reader = BlockedRead(handle);
  std::this_thread::sleep_for(milliseconds(50));
  ASSERT_EQ(Api().DAQmxClearTask(handle), 0);
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(reader.get().status, st::kInvalidTask);
  EXPECT_EQ(Api().DAQmxStopTask(handle), st::kInvalidTask);
}

TEST_F(Concurrency, QueriesStopsAndStartsDuringReads) {
  LoadedTask task("Demo4ch");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  std::atomic<bool> running{true};
  std::set<int32> read_statuses;
  std::thread reader([&] {
    std::vector<float64> data(80);
    while (running) {
      int32 read = 0;
      read_statuses.insert(
          Api().DAQmxReadAnalogF64(task.Handle(), 5, 0.05, val::kGroupByScanNumber, data.data(), 80, &read, nullptr));
    }
  });
  std::thread querier([&] {
    while (running) {
      uInt32 available = 0;
      daqmx::bool32 done = 0;
      float64 rate = 0;
      EXPECT_FALSE(TaskChannels(task.Handle()).empty());
      EXPECT_GE(Api().DAQmxGetReadAvailSampPerChan(task.Handle(), &available), st::kSamplesNoLongerAvailable);
      EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
      EXPECT_EQ(Api().DAQmxGetSampClkRate(task.Handle(), &rate), 0);
    }
  });
  // Restarts far apart enough for 5 ms reads to complete in between.
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
    EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  }
  running = false;
  reader.join();
  querier.join();
  const std::set<int32> allowed = {0, st::kSamplesNotYetAvailable, st::kSamplesWillNeverBeAvailable};
  for (const int32 status : read_statuses) EXPECT_TRUE(allowed.count(status)) << status;
  EXPECT_TRUE(read_statuses.count(0));
}

TEST_F(Concurrency, ClearWhileOtherThreadsUseTheHandle) {
  TaskHandle handle = nullptr;
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &handle), 0);
  ASSERT_EQ(Api().DAQmxStartTask(handle), 0);
  std::vector<std::thread> users;
  std::atomic<int> unexpected{0};
  for (int t = 0; t < 3; ++t) {
    users.emplace_back([&, t] {
      std::vector<float64> data(40);
      for (;;) {
        int32 read = 0;
        uInt32 available = 0;
        const int32 status = t == 0   ? Api().DAQmxReadAnalogF64(handle, 5, 0.02, 0, data.data(), 40, &read, nullptr)
                             : t == 1 ? Api().DAQmxGetReadAvailSampPerChan(handle, &available)
                                      : Api().DAQmxStartTask(handle);
        if (status == st::kInvalidTask) return;
        if (status < 0 && status != st::kSamplesNotYetAvailable) ++unexpected;
      }
    });
  }
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(Api().DAQmxClearTask(handle), 0);
  for (auto& user : users) user.join();
  EXPECT_EQ(unexpected, 0);
}

class InvalidHandles : public SimTest, public ::testing::WithParamInterface<const char*> {
 protected:
  TaskHandle Handle() const {
    const std::string kind = GetParam();
    if (kind == "made-up") return reinterpret_cast<TaskHandle>(0xBADC0DE);
    if (kind == "cleared") {
      TaskHandle handle = nullptr;
      EXPECT_EQ(Api().DAQmxLoadTask("OnDemand", &handle), 0);
      EXPECT_EQ(Api().DAQmxClearTask(handle), 0);
      return handle;
    }
    return nullptr;
  }
};

TEST_P(InvalidHandles, EveryTaskFunctionSaysInvalidTask) {
  const TaskHandle handle = Handle();
  float64 number = 0;
  int32 integer = 0;
  uInt64 count = 0;
  uInt32 available = 0;
  daqmx::bool32 done = 0;
  std::vector<float64> data(4);
  std::vector<daqmx::int16> codes(4);
  const auto& api = Api();
  EXPECT_EQ(api.DAQmxStartTask(handle), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxStopTask(handle), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxClearTask(handle), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetTaskChannels(handle, nullptr, 0), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetTaskDevices(handle, nullptr, 0), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetSampClkRate(handle, &number), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetSampClkMaxRate(handle, &number), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetSampQuantSampMode(handle, &integer), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetSampQuantSampPerChan(handle, &count), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetSampTimingType(handle, &integer), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetPhysicalChanName(handle, "ai0", nullptr, 0), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetChanType(handle, "ai0", &integer), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetAIMeasType(handle, "ai0", &integer), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetAIMax(handle, "ai0", &number), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetAIMin(handle, "ai0", &number), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxReadAnalogF64(handle, 1, 0.0, 0, data.data(), 4, &integer, nullptr), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxReadBinaryI16(handle, 1, 0.0, 0, codes.data(), 4, &integer, nullptr), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxGetReadAvailSampPerChan(handle, &available), st::kInvalidTask);
  EXPECT_EQ(api.DAQmxIsTaskDone(handle, &done), st::kInvalidTask);
}

INSTANTIATE_TEST_SUITE_P(Handles, InvalidHandles, ::testing::Values("null", "made-up", "cleared"));

}  // namespace
}  // namespace simtest
