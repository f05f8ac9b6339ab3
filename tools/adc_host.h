// The driver as adc-record sees it: the members of the host interface that a
// recording program calls, whether the driver is reached directly (Linux) or
// through COM (Windows).
//
// Errors in this layer: a result (null, false) with the reason in an
// out-parameter, turned into a message and an exit code in main; the
// driver's own failures arrive as its LastError text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tools {

class Adc {
 public:
  virtual ~Adc() = default;
  virtual bool Test() = 0;
  virtual std::int16_t BasePort() = 0;  // the detected task's index + 1
  virtual std::string ADCName() = 0;
  virtual int Resolution() = 0;
  virtual float Rate() = 0;
  virtual float RateMax() = 0;
  virtual std::int16_t ChannelsCount() = 0;
  virtual std::string ChannelName(std::int16_t index) = 0;
  virtual std::vector<std::string> Ranges() = 0;
  virtual std::int16_t ChannelRange(std::int16_t index) = 0;
  virtual std::string ChannelUnitName(std::int16_t index) = 0;
  virtual float ChannelUnitScale(std::int16_t index) = 0;
  virtual float ChannelUnitOffset(std::int16_t index) = 0;
  virtual void SetInputSizeData(std::int32_t size) = 0;
  virtual std::int32_t InputSizeData() = 0;
  virtual std::int32_t InputSizeKadrs() = 0;
  virtual std::int16_t InputCountChannels() = 0;
  virtual bool StartRecord() = 0;
  virtual bool Busy() = 0;
  virtual std::int32_t GetData(std::int16_t* data, std::int32_t& data_size, std::int32_t& waiting) = 0;
  virtual void StopRecord() = 0;
  virtual std::string LastError() = 0;
};

// The driver object in this process. `task` answers the driver's question
// which saved task to use when several qualify (empty: the driver's default).
std::unique_ptr<Adc> OpenDirectAdc(const std::string& task);

#ifdef _WIN32
// The driver object through COM: `driver` is a ProgID (the registered server)
// or the path of an NI.adc file, loaded without registration. `task` is
// passed to the driver's default chooser through NIADC_TASK. Null, with the
// reason in `error`, when the object cannot be created.
std::unique_ptr<Adc> OpenComAdc(const std::string& driver, const std::string& task, std::string& error);
#endif

}  // namespace tools
