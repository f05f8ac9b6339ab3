// The ring between worker and host: positions as the host counts them, the
// split at the ring's end, and two threads at the smallest capacities.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "driver/ring.h"

namespace {

using driver::FrameRing;

// Writes `frames` frames whose codes are the running frame number plus the channel.
void WriteFrames(FrameRing& ring, std::int32_t frames, std::int64_t& next) {
  for (const auto& span : ring.NextSpans(frames)) {
    for (std::int32_t f = 0; f < span.frames; ++f, ++next) {
      for (std::int32_t c = 0; c < ring.Channels(); ++c) {
        span.codes[f * ring.Channels() + c] = static_cast<std::int16_t>((next + c) & 0x7FFF);
      }
    }
  }
  ring.Publish(frames);
}

// Write, take, write, take; then the positions and the codes of the last take.
TEST(Ring, PositionsAndCodesAcrossTheEnd) {
  const struct {
    std::int32_t channels, capacity, write1, take1, write2, take2;
    std::vector<std::int16_t> taken;
    std::int32_t read_kadr, last_kadr, waiting, free;
  } cases[] = {
      {2, 8, 0, 0, 0, 0, {}, 1, 0, 0, 8},                           // fresh: empty at frame 1
      {2, 8, 6, 6, 4, 50, {6, 7, 7, 8, 8, 9, 9, 10}, 3, 2, 0, 8},   // frames 7, 8, 1, 2 in order
      {2, 8, 6, 6, 4, 2, {6, 7, 7, 8}, 1, 2, 2, 6},                 // a take stops at the end
      {1, 4, 3, 2, 0, 0, {}, 3, 3, 1, 3},                           // reader meets writer: one waits
      {3, 5, 5, 0, 0, 0, {}, 1, 5, 5, 0},                           // full
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    FrameRing ring;
    std::string error;
    ASSERT_TRUE(ring.Reset(c.channels, c.capacity, error));
    std::int64_t next = 0;
    std::vector<std::int16_t> sink(100), out(100, -1);
    WriteFrames(ring, c.write1, next);
    ASSERT_EQ(ring.Take(sink.data(), c.take1), c.take1);
    WriteFrames(ring, c.write2, next);
    const std::int32_t taken = ring.Take(out.data(), c.take2);
    EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + taken * c.channels), c.taken);
    EXPECT_EQ(out[static_cast<size_t>(taken * c.channels)], -1);  // nothing beyond
    EXPECT_EQ(ring.ReadKadr(), c.read_kadr);
    EXPECT_EQ(ring.LastKadr(), c.last_kadr);
    EXPECT_EQ(ring.Waiting(), c.waiting);
    EXPECT_EQ(ring.FreeFrames(), c.free);
  }
  // One code above the 32-bit count: refused, and nothing may be written.
  FrameRing ring;
  std::string error;
  EXPECT_FALSE(ring.Reset(2, 0x40000000, error));
  EXPECT_EQ(error.rfind("Buffer Error 6: \r\nOverflow", 0), 0u) << error;
  EXPECT_EQ(ring.FreeFrames(), 0);
}

// Writer and reader on two threads, each moving a random number of frames at
// a time: every frame arrives once and in order.
TEST(Ring, TwoThreadsAtTheSmallestCapacities) {
  const struct {
    std::int32_t capacity, channels;
    std::int64_t total;
  } cases[] = {{1, 1, 20000}, {2, 3, 50000}, {7, 2, 200000}};
  for (const auto& [capacity, channels, total] : cases) {
    FrameRing ring;
    std::string error;
    ASSERT_TRUE(ring.Reset(channels, capacity, error)) << error;
    std::thread writer([&] {
      std::minstd_rand random(1);
      for (std::int64_t written = 0; written < total;) {
        const auto want = static_cast<std::int64_t>(1 + random() % capacity);
        const auto n = std::min<std::int64_t>({want, ring.FreeFrames(), total - written});
        if (n == 0) std::this_thread::yield();
        WriteFrames(ring, static_cast<std::int32_t>(n), written);
      }
    });
    std::vector<std::int16_t> out(static_cast<size_t>(capacity * channels));
    std::minstd_rand random(7);
    std::int64_t errors = 0;
    for (std::int64_t read = 0; read < total;) {
      const std::int32_t n = ring.Take(out.data(), static_cast<std::int32_t>(1 + random() % capacity));
      if (n == 0) std::this_thread::yield();
      for (std::int32_t f = 0; f < n; ++f, ++read) {
        for (std::int32_t c = 0; c < channels; ++c) {
          errors += out[static_cast<size_t>(f * channels + c)] != static_cast<std::int16_t>((read + c) & 0x7FFF);
        }
      }
    }
    writer.join();
    EXPECT_EQ(errors, 0) << capacity << " frames of " << channels;
    EXPECT_EQ(ring.Waiting(), 0);
  }
}

}  // namespace
