#include "sim/products.h"

#include <algorithm>

#include "sim/ini.h"

namespace sim {
namespace {

struct Product {
  std::string_view type;
  int ai_channels;
  daqmx::float64 single_channel_rate;
  daqmx::float64 aggregate_rate;  // 0: simultaneous sampling, every channel at the single-channel rate
};

constexpr Product kProducts[] = {
    {"PCIe-6363", 32, 2e6, 1e6},   {"PCIe-6321", 16, 250e3, 250e3}, {"PCI-6221", 16, 250e3, 250e3},
    {"USB-6009", 8, 48e3, 48e3},   {"USB-6211", 16, 250e3, 250e3},  {"PCIe-6738", 0, 0, 0},
    {"NI 9205", 32, 250e3, 250e3}, {"NI 9211", 4, 14, 14},          {"NI 9213", 16, 1200, 1200},
    {"NI 9215", 4, 100e3, 0},      {"NI 9234", 4, 51.2e3, 0},       {"NI 9263", 0, 0, 0},
    {"NI 9401", 0, 0, 0},          {"PXIe-4499", 16, 204.8e3, 0},   {"cDAQ-9178", 0, 0, 0},
};

constexpr int kUnknownAIChannels = 16;
constexpr daqmx::float64 kUnknownMaxRate = 1e6;

const Product* Find(std::string_view product_type) {
  for (const auto& product : kProducts) {
    if (EqualsNoCase(product.type, product_type)) return &product;
  }
  return nullptr;
}

}  // namespace

int DefaultAIChannels(std::string_view product_type, bool chassis) {
  if (const Product* product = Find(product_type)) return product->ai_channels;
  return chassis ? 0 : kUnknownAIChannels;
}

daqmx::float64 MaxSampleRate(std::string_view product_type, int channels) {
  const Product* product = Find(product_type);
  if (product == nullptr || product->single_channel_rate <= 0) return kUnknownMaxRate;
  if (product->aggregate_rate <= 0 || channels <= 1) return product->single_channel_rate;
  return std::min(product->single_channel_rate, product->aggregate_rate / channels);
}

daqmx::float64 MaxMultiChannelRate(std::string_view product_type) {
  const Product* product = Find(product_type);
  if (product == nullptr || product->single_channel_rate <= 0) return kUnknownMaxRate;
  return product->aggregate_rate > 0 ? product->aggregate_rate : product->single_channel_rate;
}

bool SimultaneousSampling(std::string_view product_type) {
  const Product* product = Find(product_type);
  return product != nullptr && product->single_channel_rate > 0 && product->aggregate_rate <= 0;
}

}  // namespace sim
