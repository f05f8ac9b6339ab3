// The loader on a machine without NI-DAQmx, and the wrapper without a library.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdio>
#endif

#include "daqmx/library.h"
#include "daqmx/ni_task.h"

namespace {

using daqmx::Library;

#ifdef _WIN32
const std::string kMissingPath = "C:\\no\\such\\folder\\nicaiu.dll";
const std::string kDefaultName = "nicaiu.dll";
#else
const std::string kMissingPath = "/no/such/folder/libnidaqmx.so.1";
const std::string kDefaultName = "libnidaqmx.so";
#endif

// Any shared library that is not NI-DAQmx: the test's own platform runtime.
std::string NotNiDaqmx() {
#ifdef _WIN32
  return "C:\\windows\\system32\\kernel32.dll";
#else
  Dl_info info{};
  EXPECT_NE(dladdr(reinterpret_cast<void*>(&std::fclose), &info), 0);
  return info.dli_fname;
#endif
}

TEST(Loader, FailuresSayWhatAndWhere) {
  // Neither nicaiu.dll nor libnidaqmx.so exists on the build machine: "" finds none.
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {kMissingPath, {"NI-DAQmx could not be loaded", kMissingPath}},
      {"nidaqmx-sim", {"absolute"}},
      {NotNiDaqmx(), {"does not export DAQmx"}},
      {"", {kDefaultName}},
  };
  for (const auto& [path, parts] : cases) {
#ifndef _WIN32
    // The simulator carries NI's SONAME: once this process has loaded it, the default name finds it.
    if (path.empty() && dlopen("libnidaqmx.so.1", RTLD_NOW | RTLD_NOLOAD) != nullptr) continue;
#endif
    const auto library = Library::Load(path);
    EXPECT_FALSE(library->Loaded()) << path;
    for (const auto& part : parts) EXPECT_NE(library->LoadError().find(part), std::string::npos) << library->LoadError();
  }
}

TEST(WrapperWithoutLibrary, EveryCallGivesItsNeutralValueAndTheStatusExplains) {
  daqmx::cNITask task(Library::Load(kMissingPath));
  EXPECT_EQ(task.DAQmxMajorVersion() + task.DAQmxMinorVersion(), 0);
  EXPECT_EQ(task.Status(), daqmx::kStatusLibraryNotLoaded);
  EXPECT_EQ(task.RefreshTaskList() + task.TaskCount(), 0);
  EXPECT_FALSE(task.LoadTask(0));
  EXPECT_FALSE(task.StartTask());
  task.StopTask();
  EXPECT_EQ(task.SampClkRate(), 0.0);
  EXPECT_EQ(task.SampleMode() + task.SamplesPerChannel(), 0);
  double value = 7;
  EXPECT_FALSE(task.ReadChannelValue(0, value));
  EXPECT_EQ(value, 7);
  double block[4] = {};
  EXPECT_EQ(task.ReadSamples(1, 0.1, block, 4), 0);
  EXPECT_NE(task.StatusText().find("NI-DAQmx could not be loaded from"), std::string::npos);
}

}  // namespace
