// NI's conventions for text: size queries, truncation, status texts and the
// extended error information.
#include <functional>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class TextQuery : public SimTest {};

std::string ErrorString(int32 code) { return Text(Api().DAQmxGetErrorString, code); }

// The size query counts the NUL; an exact buffer takes the text, a short one
// its start with a warning, and nothing is written past the size given.
TEST_F(TextQuery, EveryTextFollowsTheSizeConvention) {
  const LoadedTask task("Demo4ch");
  EXPECT_EQ(ErrorString(st::kInvalidTask), "Task specified is invalid or does not exist.");
  const std::function<int32(char*, uInt32)> queries[] = {
      [](char* data, uInt32 size) { return Api().DAQmxGetSysTasks(data, size); },
      [&](char* data, uInt32 size) { return Api().DAQmxGetTaskChannels(task.handle, data, size); },
      [](char* data, uInt32 size) { return Api().DAQmxGetDevProductType("Dev1", data, size); },
      [](char* data, uInt32 size) { return Api().DAQmxGetErrorString(st::kInvalidTask, data, size); }};
  for (const auto& query : queries) {
    const std::string text = Text(query);
    const auto size = static_cast<uInt32>(text.size() + 1);
    for (const uInt32 given : {size, size - 1, 5u, 1u}) {
      std::string buffer(size + 1, 'x');
      EXPECT_EQ(query(buffer.data(), given), given == size ? 0 : st::kWarningStringTruncated);
      EXPECT_EQ(buffer.c_str() + buffer.substr(given),
                text.substr(0, given - 1) + std::string(size + 1 - given, 'x'));
    }
  }
  EXPECT_THAT(ExtendedError(), HasSubstr("truncated"));
}

TEST_F(TextQuery, EveryProducedCodeHasItsOwnText) {
  const std::string unknown = ErrorString(-123456);
  EXPECT_THAT(unknown, HasSubstr("could not be found"));
  for (const int32 code : {st::kSamplesNoLongerAvailable, st::kSamplesNotYetAvailable, st::kSamplesWillNeverBeAvailable,
                           st::kInvalidTask, st::kTaskNameConflict, st::kTaskCannotBeLoaded, st::kInvalidDeviceId,
                           st::kDeviceCannotBeAccessed, st::kNoChannelsInTask, st::kReadBufferTooSmall,
                           st::kResourceReserved, st::kOnboardMemoryOverflow, st::kWarningStringTruncated,
                           kInvalidAttributeValue, kAttributeNotApplicable, kChannelNotInTask, kConfigInvalid,
                           kConfigUnreadable}) {
    EXPECT_NE(ErrorString(code), unknown) << code;
  }
  EXPECT_THAT(ErrorString(st::kSamplesNotYetAvailable), HasSubstr("not yet been acquired"));
  EXPECT_EQ(Api().DAQmxGetErrorString(0, nullptr, 0), 0);  // no error, no text
}

// Only analog inputs can be read: OutputFirst begins with an output. The information is the failing thread's.
TEST_F(TextQuery, ExtendedInfoNamesTaskChannelAndCodeForItsThread) {
  const LoadedTask task("OutputFirst");
  daqmx::int16 codes[2];
  int32 read = -1;
  EXPECT_EQ(Api().DAQmxReadBinaryI16(task.handle, 1, 0.0, 0, codes, 2, &read, nullptr), kAttributeNotApplicable);
  EXPECT_EQ(read, 0);
  std::thread([] {
    TaskHandle missing = nullptr;
    EXPECT_EQ(Api().DAQmxLoadTask("Missing", &missing), st::kTaskCannotBeLoaded);
  }).join();
  const std::string info = ExtendedError();
  EXPECT_EQ(info.rfind(ErrorString(kAttributeNotApplicable), 0), 0u) << info;
  EXPECT_THAT(info, AllOf(HasSubstr("Task Name: OutputFirst\n"), HasSubstr("Channel Name: ao0"),
                          HasSubstr("Status Code: -200452")));
}

}  // namespace
}  // namespace simtest
