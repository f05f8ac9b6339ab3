// What the simulator knows about NI product types: how many analog inputs a
// device has and how fast it samples. Unknown products get plain defaults.
#pragma once

#include <string_view>

#include "daqmx/api.h"

namespace sim {

// Physical AI channels of a device of this type: 16 when the type is unknown,
// 0 for a chassis.
int DefaultAIChannels(std::string_view product_type, bool chassis);

// Highest sample clock rate for `channels` channels of one device: multiplexed
// devices share their aggregate rate among the channels, simultaneous ones do
// not. Unknown products: 1 MS/s.
daqmx::float64 MaxSampleRate(std::string_view product_type, int channels);

// The rate a device reaches over all its channels together, and whether it samples them simultaneously.
daqmx::float64 MaxMultiChannelRate(std::string_view product_type);
bool SimultaneousSampling(std::string_view product_type);

}  // namespace sim
