/* A C program written as for NI's library: a task made in code (four voltage
 * channels, a sample clock, 500 samples per channel), then the saved task of
 * the same shape loaded by name: both give the same samples. */
#include <stdio.h>
#include <string.h>

#include "sim/nidaqmx_c.h"

#define SAMPLES 500
#define CHANNELS 4

static char error[2048];
#define CHECK(call)                                                                       \
  if ((call) < 0) {                                                                       \
    DAQmxGetExtendedErrorInfo(error, sizeof error);                                       \
    return fprintf(stderr, "%s failed:\n%s\n", #call, error), 1;                           \
  }

int main(void) {
  static float64 made[SAMPLES * CHANNELS], saved[SAMPLES * CHANNELS];
  TaskHandle task = 0;
  uInt32 channels = 0;
  int32 read = 0;
  CHECK(DAQmxCreateTask("", &task));
  CHECK(DAQmxCreateAIVoltageChan(task, "Dev1/ai0:3", "", DAQmx_Val_Cfg_Default, -10, 10, DAQmx_Val_Volts, NULL));
  CHECK(DAQmxCfgSampClkTiming(task, "", 1000.0, DAQmx_Val_Rising, DAQmx_Val_FiniteSamps, SAMPLES));
  CHECK(DAQmxGetTaskAttribute(task, DAQmx_Task_NumChans, &channels));
  CHECK(DAQmxStartTask(task));
  CHECK(DAQmxReadAnalogF64(task, SAMPLES, 10.0, DAQmx_Val_GroupByChannel, made, SAMPLES * CHANNELS, &read, NULL));
  CHECK(DAQmxWaitUntilTaskDone(task, 10.0));
  CHECK(DAQmxClearTask(task));
  CHECK(DAQmxLoadTask("Demo4ch", &task));
  CHECK(DAQmxReadAnalogF64(task, SAMPLES, 10.0, DAQmx_Val_GroupByChannel, saved, SAMPLES * CHANNELS, NULL, NULL));
  CHECK(DAQmxClearTask(task)); /* not started: the read started and stopped it */
  if (channels != CHANNELS || read != SAMPLES || memcmp(made, saved, sizeof made) != 0) {
    return fprintf(stderr, "%u channels, %d samples, or the tasks differ\n", (unsigned)channels, (int)read), 1;
  }
  puts("500 samples of 4 channels, the same made in code and saved");
  return 0;
}
