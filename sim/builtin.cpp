// The configuration served when NIDAQMX_SIM_CONFIG is not set: a few tasks a
// host program can be developed against, in NI MAX's export format.
#include "sim/config.h"

namespace sim {

std::string_view BuiltInConfigText() {
  return R"INI(
[DAQmx]
MajorVersion = 21
MinorVersion = 3

; Four channels at +/-10 V, 1 kS/s, running until stopped: the demo task.
[DAQmxTask Demo4ch]
Channels = Demo4ch/ai0, Demo4ch/ai1, Demo4ch/ai2, Demo4ch/ai3
SampQuant.SampMode = Continuous Samples
SampQuant.SampPerChan = 1000
SampClk.Rate = 1000
SampClk.Src =
SampClk.ActiveEdge = Rising
SampTimingType = Sample Clock

[DAQmxChannel Demo4ch/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai0
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
AI.TermCfg = Differential
AI.Voltage.Units = Volts

[DAQmxChannel Demo4ch/ai1]
ChanType = Analog Input
PhysicalChanName = Dev1/ai1
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
AI.TermCfg = Differential
AI.Voltage.Units = Volts

[DAQmxChannel Demo4ch/ai2]
ChanType = Analog Input
PhysicalChanName = Dev1/ai2
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
AI.TermCfg = Differential
AI.Voltage.Units = Volts

[DAQmxChannel Demo4ch/ai3]
ChanType = Analog Input
PhysicalChanName = Dev1/ai3
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
AI.TermCfg = Differential
AI.Voltage.Units = Volts

; Symmetric and one-sided ranges on two devices.
[DAQmxTask MixedRanges]
Channels = MixedRanges/Bipolar10, MixedRanges/Unipolar5, MixedRanges/Bipolar5, MixedRanges/Offset
SampQuant.SampMode = Continuous Samples
SampQuant.SampPerChan = 1000
SampClk.Rate = 1000
SampTimingType = Sample Clock

[DAQmxChannel MixedRanges/Bipolar10]
ChanType = Analog Input
PhysicalChanName = Dev1/ai4
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
AI.TermCfg = RSE

[DAQmxChannel MixedRanges/Unipolar5]
ChanType = Analog Input
PhysicalChanName = Dev1/ai5
AI.MeasType = Voltage
AI.Max = 5
AI.Min = 0
AI.TermCfg = RSE

[DAQmxChannel MixedRanges/Bipolar5]
ChanType = Analog Input
PhysicalChanName = cDAQ1Mod1/ai0
AI.MeasType = Voltage
AI.Max = 5
AI.Min = -5
AI.TermCfg = Differential

[DAQmxChannel MixedRanges/Offset]
ChanType = Analog Input
PhysicalChanName = cDAQ1Mod1/ai1
AI.MeasType = Voltage
AI.Max = 1
AI.Min = -5
AI.TermCfg = Differential

; Two thermocouples in degrees Celsius, slow as such modules are.
[DAQmxTask Thermocouples]
Channels = Thermocouples/TC0, Thermocouples/TC1
SampQuant.SampMode = Continuous Samples
SampQuant.SampPerChan = 100
SampClk.Rate = 10
SampTimingType = Sample Clock

[DAQmxChannel Thermocouples/TC0]
ChanType = Analog Input
PhysicalChanName = cDAQ1Mod2/ai0
AI.MeasType = Temperature:Thermocouple
AI.Max = 100
AI.Min = 0
AI.Temp.Units = Deg C
AI.Thrmcpl.Type = J
AI.Thrmcpl.CJCSrc = Built-In

[DAQmxChannel Thermocouples/TC1]
ChanType = Analog Input
PhysicalChanName = cDAQ1Mod2/ai1
AI.MeasType = Temperature:Thermocouple
AI.Max = 100
AI.Min = 0
AI.Temp.Units = Deg C
AI.Thrmcpl.Type = K
AI.Thrmcpl.CJCSrc = Built-In

; Software-timed: every read takes one sample per channel at once.
[DAQmxTask OnDemand]
Channels = OnDemand/ai0, OnDemand/ai1
SampTimingType = On Demand

[DAQmxChannel OnDemand/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai6
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10

[DAQmxChannel OnDemand/ai1]
ChanType = Analog Input
PhysicalChanName = Dev1/ai7
AI.MeasType = Current
AI.Max = 0.02
AI.Min = -0.02

; One second of samples, then the task is done.
[DAQmxTask Finite1s]
Channels = Finite1s/ai0, Finite1s/ai1
SampQuant.SampMode = Finite Samples
SampQuant.SampPerChan = 1000
SampClk.Rate = 1000
SampTimingType = Sample Clock

[DAQmxChannel Finite1s/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai8
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10

[DAQmxChannel Finite1s/ai1]
ChanType = Analog Input
PhysicalChanName = Dev1/ai9
AI.MeasType = Accelerometer
AI.Max = 50
AI.Min = -50

; Not an acquisition task: its first channel is an analog output.
[DAQmxTask OutputFirst]
Channels = OutputFirst/ao0, OutputFirst/ai0
SampQuant.SampMode = Continuous Samples
SampQuant.SampPerChan = 1000
SampClk.Rate = 1000
SampTimingType = Sample Clock

[DAQmxChannel OutputFirst/ao0]
ChanType = Analog Output
PhysicalChanName = Dev2/ao0
AO.Max = 10
AO.Min = -10

[DAQmxChannel OutputFirst/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai10
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10

[DAQmxDevice Dev1]
ProductType = PCIe-6363
DevSerialNum = 0x1A2B3C
DevIsSimulated = 0
ProductNum = 0x7435C4C4
BusType = PCIe

[DAQmxDevice Dev2]
ProductType = PCIe-6738
DevSerialNum = 0x0
DevIsSimulated = 1
BusType = PCIe

[DAQmxCDAQChassis cDAQ1]
ProductType = cDAQ-9178
DevSerialNum = 0x0
DevIsSimulated = 1

[DAQmxCDAQModule cDAQ1Mod1]
ProductType = NI 9205
DevSerialNum = 0x0
DevIsSimulated = 1
CompactDAQ.ChassisDevName = cDAQ1
CompactDAQ.SlotNum = 1

[DAQmxCDAQModule cDAQ1Mod2]
ProductType = NI 9213
DevSerialNum = 0x0
DevIsSimulated = 1
CompactDAQ.ChassisDevName = cDAQ1
CompactDAQ.SlotNum = 2
)INI";
}

}  // namespace sim
