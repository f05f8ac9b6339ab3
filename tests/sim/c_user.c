/* A C program written as for NI's library: a task made in code (four voltage
 * channels, a sample clock, 500 samples per channel), then the saved task of
 * the same shape loaded by name. Both must give the documented sine. */
#include <math.h>
#include <stdio.h>

#include "sim/nidaqmx_c.h"

#define SAMPLES 500
#define CHANNELS 4

#define CHECK(call)                                                            \
  do {                                                                         \
    int32 status = (call);                                                     \
    if (status < 0) {                                                          \
      char text[2048];                                                         \
      DAQmxGetExtendedErrorInfo(text, sizeof text);                            \
      fprintf(stderr, "%s: %d\n%s\n", #call, (int)status, text);               \
      return 1;                                                                \
    }                                                                          \
  } while (0)

/* Channel k is a 10 V sine of 100 samples per period, 5 degrees behind channel k-1, within 3 % noise. */
static int CheckSine(const float64* data, const char* what) {
  const double pi = 3.14159265358979323846;
  for (int k = 0; k < CHANNELS; ++k) {
    for (int i = 0; i < SAMPLES; ++i) {
      const double expected = 10.0 * sin(2 * pi * i / 100.0 - k * 5.0 * pi / 180.0);
      const double value = data[k * SAMPLES + i];
      if (fabs(value - expected) > 0.3 + 1e-9 || fabs(value) > 10.0) {
        fprintf(stderr, "%s: channel %d sample %d is %f, expected %f\n", what, k, i, value, expected);
        return 1;
      }
    }
  }
  return 0;
}

static int Read(TaskHandle task, float64* data) {
  int32 read = 0;
  CHECK(DAQmxReadAnalogF64(task, SAMPLES, 10.0, DAQmx_Val_GroupByChannel, data, SAMPLES * CHANNELS, &read, NULL));
  if (read != SAMPLES) {
    fprintf(stderr, "read %d samples per channel, expected %d\n", (int)read, SAMPLES);
    return 1;
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
  if (channels != CHANNELS) {
    fprintf(stderr, "the task has %u channels\n", (unsigned)channels);
    return 1;
  }
  CHECK(DAQmxStartTask(task));
  if (Read(task, made) != 0) return 1;
  CHECK(DAQmxWaitUntilTaskDone(task, 10.0));
  CHECK(DAQmxClearTask(task));

  CHECK(DAQmxLoadTask("Demo4ch", &task));
  if (Read(task, saved) != 0) return 1; /* not started: the read starts it */
  CHECK(DAQmxClearTask(task));

  if (CheckSine(made, "task made in code") != 0 || CheckSine(saved, "saved task") != 0) return 1;
  for (int i = 0; i < SAMPLES * CHANNELS; ++i) {
    if (made[i] != saved[i]) {
      fprintf(stderr, "sample %d differs: %f made in code, %f saved\n", i, made[i], saved[i]);
      return 1;
    }
  }
  puts("500 samples of 4 channels, made in code and saved, as documented");
  return 0;
}
