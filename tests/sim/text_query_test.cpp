// NI's conventions for text: size queries, truncation, status texts and the
// extended error information.
#include <functional>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace st = daqmx::status;

class TextQuery : public SimTest {};

// The size query counts the NUL; an exact buffer takes the text, a short one
// its start with a warning, and nothing is written past the size given.
TEST_F(TextQuery, EveryTextFollowsTheSizeConvention) {
  LoadedTask task("Demo4ch");
  const std::function<int32(char*, uInt32)> queries[] = {
      [](char* data, uInt32 size) { return Api().DAQmxGetSysTasks(data, size); },
      [&](char* data, uInt32 size) { return Api().DAQmxGetTaskChannels(task.Handle(), data, size); },
      [](char* data, uInt32 size) { return Api().DAQmxGetDevProductType("Dev1", data, size); },
      [](char* data, uInt32 size) { return Api().DAQmxGetErrorString(st::kInvalidTask, data, size); },
  };
  for (const auto& query : queries) {
    const int32 size = query(nullptr, 0);
    ASSERT_GT(size, 5);
    std::string buffer(static_cast<size_t>(size) + 1, 'x');
    EXPECT_EQ(query(buffer.data(), static_cast<uInt32>(size)), 0);
    const std::string text = buffer.c_str();
    EXPECT_EQ(static_cast<int32>(text.size()) + 1, size) << text;
    EXPECT_EQ(buffer.back(), 'x') << text;
    for (const uInt32 short_size : {static_cast<uInt32>(size) - 1, 5u, 1u}) {
      buffer.assign(buffer.size(), 'x');
      EXPECT_EQ(query(buffer.data(), short_size), st::kWarningStringTruncated) << text;
      EXPECT_EQ(buffer.c_str(), text.substr(0, short_size - 1));
      EXPECT_EQ(buffer[short_size], 'x') << text;
    }
  }
  EXPECT_EQ(ErrorString(st::kInvalidTask), "Task specified is invalid or does not exist.");
  char buffer[2];
  Api().DAQmxGetSysTasks(buffer, 2);
  EXPECT_NE(ExtendedError().find("truncated"), std::string::npos);
}

TEST_F(TextQuery, EveryProducedCodeHasItsOwnText) {
  // clang-format off
  const int32 codes[] = {
      st::kSamplesNoLongerAvailable, st::kSamplesNotYetAvailable, st::kSamplesWillNeverBeAvailable,
      st::kInvalidTask, st::kTaskNameConflict, st::kTaskCannotBeLoaded, st::kInvalidDeviceId,
      st::kDeviceCannotBeAccessed, st::kNoChannelsInTask, st::kReadBufferTooSmall, st::kResourceReserved,
      st::kOnboardMemoryOverflow, st::kWarningStringTruncated, kInvalidAttributeValue, kAttributeNotApplicable,
      kChannelNotInTask, kConfigInvalid, kConfigUnreadable};
  // clang-format on
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

// Only analog inputs can be read: OutputFirst begins with an output.
TEST_F(TextQuery, ExtendedInfoNamesTheTaskAndTheCode) {
  LoadedTask task("OutputFirst");
  std::vector<daqmx::int16> codes(2);
  int32 read = -1;
  EXPECT_EQ(task.Read(1, 0.0, 1).status, kAttributeNotApplicable);
  EXPECT_EQ(Api().DAQmxReadBinaryI16(task.Handle(), 1, 0.0, 0, codes.data(), 2, &read, nullptr),
            kAttributeNotApplicable);
  EXPECT_EQ(read, 0);
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
