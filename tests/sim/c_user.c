/* A C program written as for NI's library: a task made in code (four voltage
 * channels, a sample clock, 500 samples per channel), then the saved task of
 * the same shape loaded by name. Both must give the documented sine. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "sim/nidaqmx_c.h"

#define SAMPLES 500
#define CHANNELS 4

static int Failed(int32 status, const char* call) {
  char text[2048];
  if (status >= 0) return 0;
  DAQmxGetExtendedErrorInfo(text, sizeof text);
  fprintf(stderr, "%s: %d\n%s\n", call, (int)status, text);
  return 1;
}
#define CHECK(call) do { if (Failed((call), #call)) return 1; } while (0)

/* Channel k is a 10 V sine of 100 samples per period, 5 degrees behind channel k-1, within 3 % noise. */
static int ReadSine(TaskHandle task, float64* data) {
  const double pi = 3.14159265358979323846;
  int32 read = 0;
  CHECK(DAQmxReadAnalogF64(task, SAMPLES, 10.0, DAQmx_Val_GroupByChannel, data, SAMPLES * CHANNELS, &read, NULL));
  for (int i = 0; i < SAMPLES * CHANNELS; ++i) {
    const double expected = 10.0 * sin(2 * pi * (i % SAMPLES) / 100.0 - (i / SAMPLES) * 5.0 * pi / 180.0);
    if (read != SAMPLES || fabs(data[i] - expected) > 0.3 + 1e-9 || fabs(data[i]) > 10.0) {
      fprintf(stderr, "%d samples per channel read; sample %d is %f, expected %f\n", (int)read, i, data[i], expected);
      return 1;
    }
  }
  return 0;
}

int main(void) {
  static float64 made[SAMPLES * CHANNELS], saved[SAMPLES * CHANNELS];
  TaskHandle task = 0;
  uInt32 channels = 0;
  CHECK(DAQmxCreateTask("", &task));
  CHECK(DAQmxCreateAIVoltageChan(task, "Dev1/ai0:3", "", DAQmx_Val_Cfg_Default, -10.0, 10.0, DAQmx_Val_Volts, NULL));
  CHECK(DAQmxCfgSampClkTiming(task, "", 1000.0, DAQmx_Val_Rising, DAQmx_Val_FiniteSamps, SAMPLES));
  CHECK(DAQmxGetTaskAttribute(task, DAQmx_Task_NumChans, &channels));
  CHECK(DAQmxStartTask(task));
  if (channels != CHANNELS || ReadSine(task, made) != 0) return 1;
  CHECK(DAQmxWaitUntilTaskDone(task, 10.0));
  CHECK(DAQmxClearTask(task));
  CHECK(DAQmxLoadTask("Demo4ch", &task));
  if (ReadSine(task, saved) != 0) return 1; /* not started: the read starts it */
  CHECK(DAQmxClearTask(task));
  if (memcmp(made, saved, sizeof made) != 0) {
    fputs("the task made in code and the saved one differ\n", stderr);
    return 1;
  }
  puts("500 samples of 4 channels, made in code and saved, as documented");
  return 0;
}
