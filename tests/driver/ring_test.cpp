// The ring between worker and host on two threads at the smallest capacities.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "driver/ring.h"

namespace {

// Writer and reader each move a random number of frames at a time, and the
// writer splits them at the ring's end: every frame arrives once and in order.
TEST(Ring, TwoThreadsAtTheSmallestCapacities) {
  const struct {
    std::int32_t capacity, channels;
    std::int64_t total;
  } cases[] = {{1, 1, 20000}, {2, 3, 50000}, {7, 2, 200000}};
  const auto code = [](std::int64_t frame, std::int32_t channel) {
    return static_cast<std::int16_t>((frame + channel) & 0x7FFF);
  };
  for (const auto& [capacity, channels, total] : cases) {
    driver::FrameRing ring;
    std::string error;
    ASSERT_TRUE(ring.Reset(channels, capacity, error)) << error;
    std::thread writer([&] {
      std::minstd_rand random(1);
      for (std::int64_t written = 0; written < total;) {
        const auto want = static_cast<std::int32_t>(1 + random() % capacity);
        const auto n = std::min({want, ring.FreeFrames(), static_cast<std::int32_t>(total - written)});
        for (const auto& span : ring.NextSpans(n)) {
          for (std::int32_t i = 0; i < span.frames * channels; ++i) {
            span.codes[i] = code(written + i / channels, i % channels);
          }
          written += span.frames;
        }
        ring.Publish(n);
        if (n == 0) std::this_thread::yield();
      }
    });
    std::vector<std::int16_t> out(static_cast<size_t>(capacity * channels));
    std::minstd_rand random(7);
    std::int64_t errors = 0;
    for (std::int64_t read = 0; read < total;) {
      const std::int32_t n = ring.Take(out.data(), static_cast<std::int32_t>(1 + random() % capacity));
      for (std::int32_t i = 0; i < n * channels; ++i) {
        errors += out[static_cast<size_t>(i)] != code(read + i / channels, i % channels);
      }
      read += n;
      if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(errors, 0) << capacity << " frames of " << channels;
    EXPECT_EQ(ring.Waiting(), 0);
  }
  // One code above the 32-bit count: refused, and nothing may be written.
  driver::FrameRing ring;
  std::string error;
  EXPECT_FALSE(ring.Reset(2, 0x40000000, error));
  EXPECT_EQ(error.rfind("Buffer Error 6: \r\nOverflow", 0), 0u) << error;
  EXPECT_EQ(ring.FreeFrames(), 0);
}

}  // namespace
