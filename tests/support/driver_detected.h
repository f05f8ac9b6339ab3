// The one way driver tests get a driver object: the configuration written
// for the simulated NI-DAQmx, a thread of its own (a fresh driver state, as a
// host's new apartment has), and the object that detected the task.
#pragma once

#include <gtest/gtest.h>

#include <thread>

#include "driver/ni_daqmx_task.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace testsupport {

template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

// Runs `body(adc)` on a fresh thread with an object whose Test succeeded.
template <typename Body>
void WithDetected(const SimIni& ini, Body body) {
  SimConfigFile config(ini.Text());
  OnFreshThread([&] {
    driver::NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test()) << adc.LastError();
    body(adc);
  });
}

// Adds `count` voltage inputs <device>/ai0.. named ai0.. to the last task.
inline SimIni& Inputs(SimIni& ini, int count, const std::string& device = "Dev1", const std::string& keys = "") {
  for (int c = 0; c < count; ++c) ini.Channel("ai" + std::to_string(c), device + "/ai" + std::to_string(c), keys);
  return ini;
}

// The task "Tsk" of `count` voltage inputs on Dev1.
inline SimIni OneTask(int count, const std::string& task_keys = "", const std::string& channel_keys = "") {
  SimIni ini;
  ini.Task("Tsk", task_keys);
  return Inputs(ini, count, "Dev1", channel_keys);
}

}  // namespace testsupport
