// The ring between worker and host: positions as the host counts them, the
// split at the ring's end, and two threads at the smallest capacities.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "driver/ring.h"

namespace {

using driver::FrameRing;

// Writes `frames` frames whose codes are the running frame number.
void WriteFrames(FrameRing& ring, std::int32_t frames, std::int16_t& next) {
  for (const auto& span : ring.NextSpans(frames)) {
    for (std::int32_t f = 0; f < span.frames; ++f, ++next) {
      for (std::int32_t c = 0; c < ring.Channels(); ++c) span.codes[f * ring.Channels() + c] = next;
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
      {2, 8, 0, 0, 0, 0, {}, 1, 0, 0, 8},                                  // fresh: empty at frame 1
      {2, 8, 6, 6, 4, 50, {7, 7, 8, 8, 9, 9, 10, 10}, 3, 2, 0, 8},         // frames 7, 8, 1, 2 in order
      {2, 8, 6, 6, 4, 2, {7, 7, 8, 8}, 1, 2, 2, 6},                         // a part stops at the end
      {1, 4, 3, 2, 0, 0, {}, 3, 3, 1, 3},                                   // reader meets writer: one waits
      {3, 5, 5, 0, 0, 0, {}, 1, 5, 5, 0},                                   // full
  };
  for (const auto& c : cases) {
    FrameRing ring;
    std::string error;
    ASSERT_TRUE(ring.Reset(c.channels, c.capacity, error));
    std::int16_t next = 1;
    std::vector<std::int16_t> sink(100), out(100, -1);
    WriteFrames(ring, c.write1, next);
    ASSERT_EQ(ring.Take(sink.data(), c.take1), c.take1);
    WriteFrames(ring, c.write2, next);
    const std::int32_t taken = ring.Take(out.data(), c.take2);
    const auto at = static_cast<size_t>(&c - cases);
    EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + taken * c.channels), c.taken) << at;
    EXPECT_EQ(out[static_cast<size_t>(taken * c.channels)], -1) << at;  // nothing beyond
    EXPECT_EQ(ring.ReadKadr(), c.read_kadr) << at;
    EXPECT_EQ(ring.LastKadr(), c.last_kadr) << at;
    EXPECT_EQ(ring.Waiting(), c.waiting) << at;
    EXPECT_EQ(ring.BufferEmpty(), c.waiting == 0) << at;
    EXPECT_EQ(ring.FreeFrames(), c.free) << at;
  }
}

TEST(Ring, ResetOfTheSameShapeClearsCodesAndPositions) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(2, 4, error));
  std::int16_t next = 5;
  WriteFrames(ring, 3, next);
  ASSERT_TRUE(ring.Reset(2, 4, error));
  EXPECT_EQ(ring.Waiting(), 0);
  EXPECT_EQ(ring.ReadKadr(), 1);
  EXPECT_EQ(ring.LastKadr(), 0);
  const auto spans = ring.NextSpans(4);
  for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(spans[0].codes[i], 0);
}

TEST(Ring, ImpossibleSizeGivesABufferErrorText) {
  FrameRing ring;
  std::string error;
  EXPECT_FALSE(ring.Reset(32767, 0x7FFFFFFF, error));
  EXPECT_EQ(error.rfind("Buffer Error 6: \r\nOverflow", 0), 0u) << error;
  EXPECT_FALSE(ring.Reset(2, 0x40000000, error));  // one code above the 32-bit count
  EXPECT_FALSE(ring.Reset(0, 16, error));
  EXPECT_EQ(ring.Waiting(), 0);
  EXPECT_EQ(ring.FreeFrames(), 0);  // nothing may be written into a ring that was not allocated
}

// Writer and reader on two threads at the smallest capacities: every frame
// arrives once and in order.
void RunTwoThreads(std::int32_t capacity, std::int32_t channels, std::int64_t total) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(channels, capacity, error)) << error;
  std::thread writer([&] {
    std::int64_t written = 0;
    std::uint32_t seed = 1;
    while (written < total) {
      seed = seed * 1103515245u + 12345u;
      const auto want = static_cast<std::int32_t>(1 + (seed >> 16) % static_cast<std::uint32_t>(capacity));
      const std::int32_t n = std::min<std::int64_t>({want, ring.FreeFrames(), total - written});
      if (n == 0) {
        std::this_thread::yield();
        continue;
      }
      for (const auto& span : ring.NextSpans(n)) {
        for (std::int32_t f = 0; f < span.frames; ++f, ++written) {
          for (std::int32_t c = 0; c < channels; ++c) {
            span.codes[f * channels + c] = static_cast<std::int16_t>((written + c) & 0x7FFF);
          }
        }
      }
      ring.Publish(n);
    }
  });
  std::vector<std::int16_t> out(static_cast<size_t>(capacity * channels));
  std::int64_t read = 0;
  std::int64_t errors = 0;
  std::uint32_t seed = 7;
  while (read < total) {
    seed = seed * 1103515245u + 12345u;
    const auto want = static_cast<std::int32_t>(1 + (seed >> 16) % static_cast<std::uint32_t>(capacity));
    const std::int32_t n = ring.Take(out.data(), want);
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

TEST(RingTwoThreads, SmallestCapacities) {
  RunTwoThreads(1, 1, 20000);
  RunTwoThreads(2, 3, 50000);
  RunTwoThreads(7, 2, 200000);
}

}  // namespace
