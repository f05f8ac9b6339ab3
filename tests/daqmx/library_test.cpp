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
const char* const kMissingPath = "C:\\no\\such\\folder\\nicaiu.dll";
#else
const char* const kMissingPath = "/no/such/folder/libnidaqmx.so.1";
#endif

TEST(Loader, SimulatedLibraryResolvesEveryFunction) {
  const auto library = testsupport::SimLibrary();
  ASSERT_TRUE(library->Loaded()) << library->LoadError();
  EXPECT_EQ(library->Location(), testsupport::SimLibraryPath());
  EXPECT_NE(library->DAQmxReadAnalogF64, nullptr);
  EXPECT_NE(library->DAQmxGetErrorString, nullptr);
  EXPECT_NE(library->DAQmxIsTaskDone, nullptr);
}

TEST(Loader, WrongPathSaysWhatAndWhere) {
  const auto library = Library::Load(kMissingPath);
  EXPECT_FALSE(library->Loaded());
  EXPECT_NE(library->LoadError().find("NI-DAQmx could not be loaded"), std::string::npos);
  EXPECT_NE(library->LoadError().find(kMissingPath), std::string::npos);
}

TEST(Loader, RelativePathIsRefused) {
  const auto library = Library::Load("nidaqmx-sim");
  EXPECT_FALSE(library->Loaded());
  EXPECT_NE(library->LoadError().find("absolute"), std::string::npos);
}

TEST(Loader, LibraryWithoutTheFunctionsIsRejected) {
  // Any shared library that is not NI-DAQmx: the test's own platform runtime.
#ifdef _WIN32
  const auto library = Library::Load("C:\\windows\\system32\\kernel32.dll");
#else
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::fclose), &info), 0);
  const auto library = Library::Load(info.dli_fname);
#endif
  EXPECT_FALSE(library->Loaded());
  EXPECT_NE(library->LoadError().find("does not export DAQmx"), std::string::npos) << library->LoadError();
}

TEST(Loader, DefaultLocationHasNoNiDaqmxHere) {
  // Neither nicaiu.dll nor libnidaqmx.so exists on the build machine.
#ifndef _WIN32
  // The simulator carries NI's SONAME: once an earlier case of this process loaded it, the name finds it.
  if (dlopen("libnidaqmx.so.1", RTLD_NOW | RTLD_NOLOAD) != nullptr) GTEST_SKIP() << "the simulator is loaded";
#endif
  const auto library = Library::Load("");
  EXPECT_FALSE(library->Loaded());
#ifdef _WIN32
  EXPECT_NE(library->LoadError().find("nicaiu.dll"), std::string::npos) << library->LoadError();
#else
  EXPECT_NE(library->LoadError().find("libnidaqmx.so"), std::string::npos) << library->LoadError();
#endif
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
