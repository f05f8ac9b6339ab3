/* The simulated NI-DAQmx's C interface, for C programs written as for NI's
 * library: NI's types, the constants the example uses, and the prototypes the
 * simulator exports, declared from NI's documented signatures. */
#ifndef NIDAQMX_C_H
#define NIDAQMX_C_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t int16;
typedef int32_t int32;
typedef uint32_t uInt32;
typedef uint64_t uInt64;
typedef double float64;
typedef uInt32 bool32;
typedef void* TaskHandle;

/* 32-bit Windows: __stdcall for fixed arguments; the variadic ones are __cdecl everywhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define DAQMX_STDCALL __stdcall
#else
#define DAQMX_STDCALL
#endif

#define DAQmx_Val_Cfg_Default (-1)
#define DAQmx_Val_Volts 10348
#define DAQmx_Val_Rising 10280
#define DAQmx_Val_FiniteSamps 10178
#define DAQmx_Val_ContSamps 10123
#define DAQmx_Val_GroupByChannel 0
#define DAQmx_Val_GroupByScanNumber 1
#define DAQmx_Task_NumChans 0x2181
#define DAQmx_Task_Channels 0x1273

int32 DAQMX_STDCALL DAQmxCreateTask(const char taskName[], TaskHandle* taskHandle);
int32 DAQMX_STDCALL DAQmxLoadTask(const char taskName[], TaskHandle* taskHandle);
int32 DAQMX_STDCALL DAQmxCreateAIVoltageChan(TaskHandle taskHandle, const char physicalChannel[],
                                             const char nameToAssignToChannel[], int32 terminalConfig, float64 minVal,
                                             float64 maxVal, int32 units, const char customScaleName[]);
int32 DAQMX_STDCALL DAQmxCfgSampClkTiming(TaskHandle taskHandle, const char source[], float64 rate, int32 activeEdge,
                                          int32 sampleMode, uInt64 sampsPerChan);
int32 DAQMX_STDCALL DAQmxStartTask(TaskHandle taskHandle);
int32 DAQMX_STDCALL DAQmxStopTask(TaskHandle taskHandle);
int32 DAQMX_STDCALL DAQmxClearTask(TaskHandle taskHandle);
int32 DAQMX_STDCALL DAQmxWaitUntilTaskDone(TaskHandle taskHandle, float64 timeToWait);
int32 DAQMX_STDCALL DAQmxReadAnalogF64(TaskHandle taskHandle, int32 numSampsPerChan, float64 timeout, bool32 fillMode,
                                       float64 readArray[], uInt32 arraySizeInSamps, int32* sampsPerChanRead,
                                       bool32* reserved);
int32 DAQMX_STDCALL DAQmxGetExtendedErrorInfo(char errorString[], uInt32 bufferSize);
int32 DAQmxGetTaskAttribute(TaskHandle taskHandle, int32 attribute, void* value, ...);

#ifdef __cplusplus
}
#endif

#endif
