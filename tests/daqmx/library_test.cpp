// The loader: a machine without NI-DAQmx, a wrong path, and the simulated
// library through the same code path the driver uses.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdio>
#endif

#include "daqmx/library.h"
#include "daqmx/ni_task.h"
#include "tests/support/sim_env.h"

namespace {

using daqmx::cNITask;
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

TEST(Loader, SimulatedLibraryResolvesEveryFunction) {
  const auto library = testsupport::SimLibrary();
  ASSERT_TRUE(library->Loaded()) << library->LoadError();
  EXPECT_EQ(library->Location(), testsupport::SimLibraryPath());
  EXPECT_NE(library->DAQmxReadAnalogF64, nullptr);
  EXPECT_NE(library->DAQmxIsTaskDone, nullptr);
}

TEST(Loader, FailuresSayWhatAndWhere) {
  // Neither nicaiu.dll nor libnidaqmx.so exists on the build machine: "" finds
  // none.
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
    for (const auto& part : parts)
      EXPECT_NE(library->LoadError().find(part), std::string::npos) << library->LoadError();
  }
}

TEST(WrapperWithoutLibrary, EveryCallGivesItsNeutralValueAndTheStatusExplains) {
  cNITask task(Library::Load(kMissingPath));
  EXPECT_EQ(task.DAQmxMajorVersion(), 0);
  EXPECT_EQ(task.DAQmxMinorVersion(), 0);
  EXPECT_EQ(task.Status(), daqmx::kStatusLibraryNotLoaded);
  EXPECT_NE(task.StatusText().find("NI-DAQmx could not be loaded from"), std::string::npos);
  EXPECT_EQ(task.RefreshTaskList(), 0);
  EXPECT_EQ(task.TaskCount(), 0);
  EXPECT_FALSE(task.LoadTask(0));
  EXPECT_FALSE(task.StartTask());
  task.StopTask();
  EXPECT_EQ(task.SampClkRate(), 0.0);
  EXPECT_EQ(task.SampleMode(), 0);
  EXPECT_EQ(task.SamplesPerChannel(), 0);
  double value = 7;
  EXPECT_FALSE(task.ReadChannelValue(0, value));
  EXPECT_EQ(value, 7);
  double block[4] = {};
  EXPECT_EQ(task.ReadSamples(1, 0.1, block, 4), 0);
  EXPECT_NE(task.StatusText().find("could not be loaded"), std::string::npos);
}

}  // namespace
