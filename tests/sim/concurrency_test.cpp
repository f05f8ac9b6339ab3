// Several threads on one task, as a host's worker reads while its main
// thread queries, stops or clears.
#include <atomic>
#include <future>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class Concurrency : public SimTest {};

// A read of 10 s worth of samples, with no timeout, ends early only when stopped or cleared.
TEST_F(Concurrency, StopAndClearWakeABlockedReader) {
  const std::tuple<bool, bool, int32> cases[] = {{false, false, st::kSamplesWillNeverBeAvailable},
                                                 {true, false, st::kSamplesWillNeverBeAvailable},
                                                 {true, true, st::kInvalidTask}};
  for (const auto& [started_first, clear, expected] : cases) {
    SCOPED_TRACE(testing::Message() << "started first " << started_first << ", cleared " << clear);
    TaskHandle handle = nullptr;
    ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &handle), 0);
    ASSERT_EQ(started_first ? Api().DAQmxStartTask(handle) : 0, 0);
    auto reader = std::async(std::launch::async, [handle] {
      std::vector<float64> data(40000);
      int32 read = -1;
      const int32 status = Api().DAQmxReadAnalogF64(handle, 10000, val::kWaitInfinitely, val::kGroupByScanNumber,
                                                    data.data(), 40000, &read, nullptr);
      return std::make_pair(status, read);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    daqmx::bool32 done = 1;
    EXPECT_EQ(Api().DAQmxIsTaskDone(handle, &done), 0);
    EXPECT_EQ(done, 0u);
    ASSERT_EQ(clear ? Api().DAQmxClearTask(handle) : Api().DAQmxStopTask(handle), 0);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(reader.get(), std::make_pair(expected, 0));
    if (!clear) Api().DAQmxClearTask(handle);
  }
}

// Readers, queries and starts on other threads while this one stops, starts and finally clears the task.
TEST_F(Concurrency, StopStartAndClearDuringReadsAndQueries) {
  TaskHandle handle = nullptr;
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &handle), 0);
  ASSERT_EQ(Api().DAQmxStartTask(handle), 0);
  std::atomic<int> unexpected{0}, complete_reads{0};
  std::vector<std::thread> users;
  for (int t = 0; t < 3; ++t) {
    users.emplace_back([&, t] {
      std::vector<float64> data(40);
      for (;;) {
        int32 read = 0;
        uInt32 available = 0;
        const int32 status = t == 0   ? Api().DAQmxReadAnalogF64(handle, 5, 0.05, 0, data.data(), 40, &read, nullptr)
                             : t == 1 ? Api().DAQmxGetReadAvailSampPerChan(handle, &available)
                                      : Api().DAQmxGetTaskChannels(handle, nullptr, 0);
        if (status == st::kInvalidTask) return;
        complete_reads += t == 0 && status == 0;
        if (status < 0 && status != st::kSamplesNotYetAvailable && status != st::kSamplesWillNeverBeAvailable &&
            status != st::kSamplesNoLongerAvailable) {
          ++unexpected;
        }
      }
    });
  }
  for (int i = 0; i < 6; ++i) {  // far enough apart for 5 ms reads to complete in between
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Api().DAQmxStopTask(handle), 0);
    EXPECT_EQ(Api().DAQmxStartTask(handle), 0);
  }
  EXPECT_EQ(Api().DAQmxClearTask(handle), 0);
  for (auto& user : users) user.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_GT(complete_reads, 0);
}

}  // namespace
}  // namespace simtest
