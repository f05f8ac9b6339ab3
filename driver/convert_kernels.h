// The conversion kernels behind Kernels(). Each vector kernel lives in its
// own file, compiled for its instruction set, and is only called after the
// processor was found to support it.
#pragma once

#include "driver/convert.h"

namespace driver::kernels {

void ConvertScalar(const double* in, std::int16_t* out, std::size_t count,
                   const ConversionPattern& pattern, std::size_t first_channel);
void ConvertSse2(const double* in, std::int16_t* out, std::size_t count,
                 const ConversionPattern& pattern, std::size_t first_channel);
void ConvertAvx2(const double* in, std::int16_t* out, std::size_t count,
                 const ConversionPattern& pattern, std::size_t first_channel);

}  // namespace driver::kernels
