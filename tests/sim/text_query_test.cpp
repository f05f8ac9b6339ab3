// NI's conventions for text: size queries, truncation, status texts and the
// extended error information.
#include <cstring>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace st = daqmx::status;

class TextQuery : public SimTest {};

TEST_F(TextQuery, SizeQueryCountsTheTerminatingNul) {
  const std::string tasks = "Demo4ch, MixedRanges, Thermocouples, OnDemand, Finite1s, OutputFirst";
  EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), static_cast<int32>(tasks.size() + 1));
  LoadedTask task("Demo4ch");
  EXPECT_EQ(Api().DAQmxGetTaskChannels(task.Handle(), nullptr, 0), 19);  // "ai0, ai1, ai2, ai3"
  EXPECT_EQ(Api().DAQmxGetDevProductType("Dev1", nullptr, 0), 10);       // "PCIe-6363"
}

TEST_F(TextQuery, ExactBufferFitsWithoutWarning) {
  char buffer[10];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Api().DAQmxGetDevProductType("Dev1", buffer, 10), 0);
  EXPECT_STREQ(buffer, "PCIe-6363");
}

TEST_F(TextQuery, ShortBufferIsTruncatedWithWarning) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Api().DAQmxGetSysTasks(buffer, 5), st::kWarningStringTruncated);
  EXPECT_STREQ(buffer, "Demo");
  EXPECT_EQ(buffer[5], 'x');  // nothing written past the given size
  EXPECT_EQ(Api().DAQmxGetDevProductType("Dev1", buffer, 1), st::kWarningStringTruncated);
  EXPECT_STREQ(buffer, "");
  EXPECT_NE(ExtendedError().find("truncated"), std::string::npos);
}

TEST_F(TextQuery, ErrorStringFollowsTheSizeConvention) {
  const std::string text = ErrorString(st::kInvalidTask);
  EXPECT_EQ(text, "Task specified is invalid or does not exist.");
  char small[5];
  EXPECT_EQ(Api().DAQmxGetErrorString(st::kInvalidTask, small, sizeof small), st::kWarningStringTruncated);
  EXPECT_STREQ(small, "Task");
}

TEST_F(TextQuery, EveryProducedCodeHasItsOwnText) {
  const int32 codes[] = {st::kSamplesNoLongerAvailable,
                         st::kSamplesNotYetAvailable,
                         st::kSamplesWillNeverBeAvailable,
                         st::kInvalidTask,
                         st::kTaskNameConflict,
                         st::kTaskCannotBeLoaded,
                         st::kInvalidDeviceId,
                         st::kDeviceCannotBeAccessed,
                         st::kNoChannelsInTask,
                         st::kReadBufferTooSmall,
                         st::kResourceReserved,
                         st::kOnboardMemoryOverflow,
                         st::kWarningStringTruncated,
                         kInvalidAttributeValue,
                         kAttributeNotApplicable,
                         kChannelNotInTask,
                         kConfigInvalid,
                         kConfigUnreadable};
  const std::string unknown = ErrorString(-123456);
  EXPECT_NE(unknown.find("could not be found"), std::string::npos) << unknown;
  for (const int32 code : codes) {
    const std::string text = ErrorString(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text, unknown) << code;
  }
  EXPECT_NE(ErrorString(st::kSamplesNoLongerAvailable).find("no longer available"), std::string::npos);
  EXPECT_NE(ErrorString(st::kSamplesNotYetAvailable).find("not yet been acquired"), std::string::npos);
  EXPECT_NE(ErrorString(st::kResourceReserved).find("resource is reserved"), std::string::npos);
  EXPECT_EQ(Api().DAQmxGetErrorString(0, nullptr, 0), 0);  // no error, no text
}

TEST_F(TextQuery, ExtendedInfoNamesTheTaskAndTheCode) {
  LoadedTask task("OutputFirst");
  std::vector<float64> data(2);
  int32 read = -1;
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), 1, 0.0, 0, data.data(), 2, &read, nullptr),
            kAttributeNotApplicable);
  const std::string info = ExtendedError();
  EXPECT_EQ(info.rfind(ErrorString(kAttributeNotApplicable), 0), 0u) << info;
  EXPECT_NE(info.find("Task Name: OutputFirst"), std::string::npos) << info;
  EXPECT_NE(info.find("Channel Name: ao0"), std::string::npos) << info;
  EXPECT_NE(info.find("Status Code: -200452"), std::string::npos) << info;
}

TEST_F(TextQuery, ExtendedInfoBelongsToTheThreadThatFailed) {
  TaskHandle handle = nullptr;
  EXPECT_EQ(Api().DAQmxLoadTask("MissingHere", &handle), st::kTaskCannotBeLoaded);
  std::string other_thread;
  std::thread([&] {
    uInt32 serial = 0;
    Api().DAQmxGetDevSerialNum("NoDevice", &serial);
    other_thread = ExtendedError();
  }).join();
  EXPECT_NE(other_thread.find("NoDevice"), std::string::npos);
  EXPECT_NE(ExtendedError().find("MissingHere"), std::string::npos) << ExtendedError();
}

}  // namespace
}  // namespace simtest
