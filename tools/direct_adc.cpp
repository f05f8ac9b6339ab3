#include "driver/ni_daqmx_task.h"
#include "tools/adc_host.h"
#include "tools/console_chooser.h"

namespace tools {
namespace {

class DirectAdc final : public Adc {
 public:
  explicit DirectAdc(const std::string& task) {
    driver::SetPlatformChooser(&ChooseOnConsole);
    if (task.empty()) return;
    driver_.SetTaskChooser([task](const std::vector<daqmx::TaskListEntry>& entries) -> std::int16_t {
      for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].EntryName == task) return static_cast<std::int16_t>(i);
      }
      return -1;
    });
  }
  bool Test() override { return driver_.Test(); }
  std::int16_t BasePort() override { return driver_.BasePort(); }
  std::string ADCName() override { return driver_.ADCName(); }
  int Resolution() override { return driver_.Resolution(); }
  float Rate() override { return driver_.Rate(); }
  float RateMax() override { return driver_.RateMax(); }
  std::int16_t ChannelsCount() override { return driver_.ChannelsCount(); }
  std::string ChannelName(std::int16_t i) override { return driver_.ChannelName(i); }
  std::vector<std::string> Ranges() override { return driver_.Ranges(); }
  std::int16_t ChannelRange(std::int16_t i) override { return driver_.ChannelRange(i); }
  std::string ChannelUnitName(std::int16_t i) override { return driver_.ChannelUnitName(i); }
  float ChannelUnitScale(std::int16_t i) override { return driver_.ChannelUnitScale(i); }
  float ChannelUnitOffset(std::int16_t i) override { return driver_.ChannelUnitOffset(i); }
  void SetInputSizeData(std::int32_t size) override { driver_.SetInputSizeData(size); }
  std::int32_t InputSizeData() override { return driver_.InputSizeData(); }
  std::int32_t InputSizeKadrs() override { return driver_.InputSizeKadrs(); }
  std::int16_t InputCountChannels() override { return driver_.InputCountChannels(); }
  bool StartRecord() override { return driver_.StartRecord(); }
  bool Busy() override { return driver_.Busy(); }
  std::int32_t GetData(std::int16_t* data, std::int32_t& size, std::int32_t& waiting) override {
    return driver_.GetData(data, size, waiting);
  }
  void StopRecord() override { driver_.StopRecord(); }
  std::string LastError() override { return driver_.LastError(); }

 private:
  driver::NI_DAQmx_Task driver_;
};

}  // namespace

std::unique_ptr<Adc> OpenDirectAdc(const std::string& task) { return std::make_unique<DirectAdc>(task); }

}  // namespace tools
