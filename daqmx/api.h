// Our own declarations of the NI-DAQmx C functions this project calls or
// simulates, written from NI's documented prototypes. One list serves both
// sides: the loader turns it into function-pointer types, the simulated
// library into the prototypes it must define (a mismatch fails to compile).
#pragma once

#include <cstdint>

namespace daqmx {

// NI's fixed-width names: 4 bytes everywhere (long on Windows, int on Linux).
using int16 = std::int16_t;
using int32 = std::int32_t;
using uInt32 = std::uint32_t;
using uInt64 = std::uint64_t;
using float64 = double;
using bool32 = uInt32;
using TaskHandle = void*;

static_assert(sizeof(int32) == 4 && sizeof(uInt32) == 4, "NI-DAQmx int32 is 4 bytes");

}  // namespace daqmx

// 32-bit Windows NI-DAQmx uses __stdcall; everything else the platform default.
#if defined(_WIN32) && !defined(_WIN64)
#define DAQMX_CALL __stdcall
#else
#define DAQMX_CALL
#endif

// The functions the task wrapper calls: X(name, (parameters)).
#define NIADC_DAQMX_FUNCTIONS(X)                                                                              \
  X(DAQmxGetSysNIDAQMajorVersion, (daqmx::uInt32 * data))                                                     \
  X(DAQmxGetSysNIDAQMinorVersion, (daqmx::uInt32 * data))                                                     \
  X(DAQmxGetSysTasks, (char* data, daqmx::uInt32 bufferSize))                                                 \
  X(DAQmxLoadTask, (const char taskName[], daqmx::TaskHandle* taskHandle))                                    \
  X(DAQmxClearTask, (daqmx::TaskHandle taskHandle))                                                           \
  X(DAQmxStartTask, (daqmx::TaskHandle taskHandle))                                                           \
  X(DAQmxStopTask, (daqmx::TaskHandle taskHandle))                                                            \
  X(DAQmxGetTaskChannels, (daqmx::TaskHandle taskHandle, char* data, daqmx::uInt32 bufferSize))               \
  X(DAQmxGetTaskDevices, (daqmx::TaskHandle taskHandle, char* data, daqmx::uInt32 bufferSize))                \
  X(DAQmxGetSampClkRate, (daqmx::TaskHandle taskHandle, daqmx::float64 * data))                               \
  X(DAQmxGetSampClkMaxRate, (daqmx::TaskHandle taskHandle, daqmx::float64 * data))                            \
  X(DAQmxGetSampQuantSampMode, (daqmx::TaskHandle taskHandle, daqmx::int32 * data))                           \
  X(DAQmxGetSampQuantSampPerChan, (daqmx::TaskHandle taskHandle, daqmx::uInt64 * data))                       \
  X(DAQmxGetSampTimingType, (daqmx::TaskHandle taskHandle, daqmx::int32 * data))                              \
  X(DAQmxGetDevProductType, (const char device[], char* data, daqmx::uInt32 bufferSize))                      \
  X(DAQmxGetDevAIPhysicalChans, (const char device[], char* data, daqmx::uInt32 bufferSize))                  \
  X(DAQmxGetDevSerialNum, (const char device[], daqmx::uInt32 * data))                                        \
  X(DAQmxGetPhysicalChanName,                                                                                 \
    (daqmx::TaskHandle taskHandle, const char channel[], char* data, daqmx::uInt32 bufferSize))               \
  X(DAQmxGetChanType, (daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 * data))              \
  X(DAQmxGetAIMeasType, (daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 * data))            \
  X(DAQmxGetAIMax, (daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64 * data))               \
  X(DAQmxGetAIMin, (daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64 * data))               \
  X(DAQmxReadAnalogF64,                                                                                       \
    (daqmx::TaskHandle taskHandle, daqmx::int32 numSampsPerChan, daqmx::float64 timeout, daqmx::bool32 fillMode, \
     daqmx::float64 readArray[], daqmx::uInt32 arraySizeInSamps, daqmx::int32 * sampsPerChanRead,             \
     daqmx::bool32 * reserved))                                                                               \
  X(DAQmxGetErrorString, (daqmx::int32 errorCode, char errorString[], daqmx::uInt32 bufferSize))

// Further functions the simulated library exports for host programs.
#define NIADC_DAQMX_EXTRA_FUNCTIONS(X)                                                                        \
  X(DAQmxGetExtendedErrorInfo, (char errorString[], daqmx::uInt32 bufferSize))                                \
  X(DAQmxReadBinaryI16,                                                                                       \
    (daqmx::TaskHandle taskHandle, daqmx::int32 numSampsPerChan, daqmx::float64 timeout, daqmx::bool32 fillMode, \
     daqmx::int16 readArray[], daqmx::uInt32 arraySizeInSamps, daqmx::int32 * sampsPerChanRead,               \
     daqmx::bool32 * reserved))                                                                               \
  X(DAQmxGetReadAvailSampPerChan, (daqmx::TaskHandle taskHandle, daqmx::uInt32 * data))                       \
  X(DAQmxIsTaskDone, (daqmx::TaskHandle taskHandle, daqmx::bool32 * isTaskDone))                              \
  X(DAQmxCreateTask, (const char taskName[], daqmx::TaskHandle* taskHandle))                                  \
  X(DAQmxCreateAIVoltageChan,                                                                                 \
    (daqmx::TaskHandle taskHandle, const char physicalChannel[], const char nameToAssignToChannel[],          \
     daqmx::int32 terminalConfig, daqmx::float64 minVal, daqmx::float64 maxVal, daqmx::int32 units,           \
     const char customScaleName[]))                                                                           \
  X(DAQmxCreateAICurrentChan,                                                                                 \
    (daqmx::TaskHandle taskHandle, const char physicalChannel[], const char nameToAssignToChannel[],          \
     daqmx::int32 terminalConfig, daqmx::float64 minVal, daqmx::float64 maxVal, daqmx::int32 units,           \
     daqmx::int32 shuntResistorLoc, daqmx::float64 extShuntResistorVal, const char customScaleName[]))        \
  X(DAQmxCreateAIThrmcplChan,                                                                                 \
    (daqmx::TaskHandle taskHandle, const char physicalChannel[], const char nameToAssignToChannel[],          \
     daqmx::float64 minVal, daqmx::float64 maxVal, daqmx::int32 units, daqmx::int32 thermocoupleType,         \
     daqmx::int32 cjcSource, daqmx::float64 cjcVal, const char cjcChannel[]))                                 \
  X(DAQmxInternalGetLastCreatedChan, (char value[], daqmx::uInt32 size))                                      \
  X(DAQmxCfgSampClkTiming,                                                                                    \
    (daqmx::TaskHandle taskHandle, const char source[], daqmx::float64 rate, daqmx::int32 activeEdge,         \
     daqmx::int32 sampleMode, daqmx::uInt64 sampsPerChan))                                                    \
  X(DAQmxTaskControl, (daqmx::TaskHandle taskHandle, daqmx::int32 action))                                    \
  X(DAQmxWaitUntilTaskDone, (daqmx::TaskHandle taskHandle, daqmx::float64 timeToWait))                        \
  X(DAQmxReadAnalogScalarF64,                                                                                 \
    (daqmx::TaskHandle taskHandle, daqmx::float64 timeout, daqmx::float64 * value, daqmx::bool32 * reserved)) \
  X(DAQmxSetRuntimeEnvironment,                                                                               \
    (const char environment[], const char environmentVersion[], const char reserved1[], const char reserved2[]))

// NI's generic attribute functions: variadic, so __cdecl on every platform.
// Getters take the value pointer, then a uInt32 size for texts and arrays;
// setters take the value itself.
#define NIADC_DAQMX_VARIADIC_FUNCTIONS(X)                                                               \
  X(DAQmxGetSystemInfoAttribute, (daqmx::int32 attribute, void* value, ...))                            \
  X(DAQmxGetTaskAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, void* value, ...))    \
  X(DAQmxGetChanAttribute,                                                                              \
    (daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 attribute, void* value, ...))     \
  X(DAQmxSetChanAttribute, (daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 attribute, ...)) \
  X(DAQmxGetTimingAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, void* value, ...))  \
  X(DAQmxSetTimingAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, ...))               \
  X(DAQmxGetReadAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, void* value, ...))    \
  X(DAQmxSetReadAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, ...))                 \
  X(DAQmxGetBufferAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, void* value, ...))  \
  X(DAQmxSetBufferAttribute, (daqmx::TaskHandle taskHandle, daqmx::int32 attribute, ...))               \
  X(DAQmxGetDeviceAttribute, (const char deviceName[], daqmx::int32 attribute, void* value, ...))       \
  X(DAQmxGetPhysicalChanAttribute, (const char physicalChannel[], daqmx::int32 attribute, void* value, ...)) \
  X(DAQmxGetPersistedTaskAttribute, (const char taskName[], daqmx::int32 attribute, void* value, ...))

namespace daqmx {

// Values of NI-DAQmx attributes and arguments that this project uses.
namespace val {
inline constexpr int32 kAI = 10100;
inline constexpr int32 kAO = 10102;
inline constexpr int32 kDI = 10151;
inline constexpr int32 kDO = 10153;
inline constexpr int32 kCI = 10131;
inline constexpr int32 kCO = 10132;

inline constexpr int32 kFiniteSamps = 10178;
inline constexpr int32 kContSamps = 10123;
inline constexpr int32 kHWTimedSinglePoint = 12522;

inline constexpr int32 kSampClk = 10388;
inline constexpr int32 kHandshake = 10389;
inline constexpr int32 kImplicit = 10451;
inline constexpr int32 kOnDemand = 10390;
inline constexpr int32 kChangeDetection = 12504;
inline constexpr int32 kBurstHandshake = 12548;

inline constexpr bool32 kGroupByChannel = 0;
inline constexpr bool32 kGroupByScanNumber = 1;

inline constexpr int32 kVoltage = 10322;
inline constexpr int32 kVoltageRMS = 10350;
inline constexpr int32 kCurrent = 10134;
inline constexpr int32 kCurrentRMS = 10351;
inline constexpr int32 kVoltageCustomWithExcitation = 10323;
inline constexpr int32 kFreqVoltage = 10181;
inline constexpr int32 kResistance = 10278;
inline constexpr int32 kTempTC = 10303;
inline constexpr int32 kTempThrmstr = 10302;
inline constexpr int32 kTempRTD = 10301;
inline constexpr int32 kTempBuiltInSensor = 10311;
inline constexpr int32 kStrainGage = 10300;
inline constexpr int32 kAccelerometer = 10356;
inline constexpr int32 kSoundPressureMicrophone = 10354;
inline constexpr int32 kBridge = 15908;
inline constexpr int32 kForceBridge = 15899;
inline constexpr int32 kPressureBridge = 15902;
inline constexpr int32 kTorqueBridge = 15905;
inline constexpr int32 kPositionLVDT = 10352;
inline constexpr int32 kPositionRVDT = 10353;
inline constexpr int32 kCharge = 16105;

inline constexpr int32 kRising = 10280;
inline constexpr int32 kFalling = 10171;
inline constexpr int32 kVolts = 10348;
inline constexpr int32 kAmps = 10342;
inline constexpr int32 kDegC = 10143;
inline constexpr int32 kCfgDefault = -1;

inline constexpr int32 kTaskStart = 0;
inline constexpr int32 kTaskStop = 1;
inline constexpr int32 kTaskVerify = 2;
inline constexpr int32 kTaskCommit = 3;
inline constexpr int32 kTaskReserve = 4;
inline constexpr int32 kTaskUnreserve = 5;
inline constexpr int32 kTaskAbort = 6;

inline constexpr float64 kWaitInfinitely = -1.0;
inline constexpr int32 kAllAvailable = -1;
}  // namespace val

// NI-DAQmx status codes that this project produces or tests for.
namespace status {
inline constexpr int32 kSamplesNoLongerAvailable = -200279;
inline constexpr int32 kSamplesNotYetAvailable = -200284;
inline constexpr int32 kSamplesWillNeverBeAvailable = -200278;
inline constexpr int32 kInvalidTask = -200088;
inline constexpr int32 kTaskNameConflict = -200089;
inline constexpr int32 kTaskCannotBeLoaded = -200485;
inline constexpr int32 kReadNotRunningNoAutoStart = -200473;
inline constexpr int32 kOperationTimedOut = -200474;
inline constexpr int32 kOnboardMemoryOverflow = -200361;
inline constexpr int32 kInvalidDeviceId = -200220;
inline constexpr int32 kDeviceAbsent = -200324;
inline constexpr int32 kDeviceCannotBeAccessed = -201003;
inline constexpr int32 kPhysicalChannelDoesNotExist = -200170;
inline constexpr int32 kNoChannelsInTask = -200478;
inline constexpr int32 kBufferTooSmallForString = -200228;
inline constexpr int32 kReadBufferTooSmall = -200229;
inline constexpr int32 kResourceReserved = -50103;
inline constexpr int32 kInvalidAttributeValue = -200077;
inline constexpr int32 kMinNotLessThanMax = -200082;
inline constexpr int32 kInconsistentAcrossChannels = -200106;
inline constexpr int32 kArrayTooSmall = -200234;
inline constexpr int32 kAttributeNotSupported = -200452;
inline constexpr int32 kChannelNotInTask = -200486;
inline constexpr int32 kChannelAlreadyInTask = -200489;
inline constexpr int32 kInvalidRangeSyntax = -200498;
inline constexpr int32 kWaitUntilDoneTimedOut = -200560;
inline constexpr int32 kOperationNotPermittedWhileRunning = -200479;
inline constexpr int32 kWarningStringTruncated = 200026;
inline constexpr int32 kWarningStoppedBeforeDone = 200010;
}  // namespace status

}  // namespace daqmx
