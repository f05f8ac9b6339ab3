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

TEST(Ring, FreshRingIsEmptyAtFrameOne) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(2, 8, error));
  EXPECT_EQ(ring.Waiting(), 0);
  EXPECT_TRUE(ring.BufferEmpty());
  EXPECT_EQ(ring.ReadKadr(), 1);
  EXPECT_EQ(ring.LastKadr(), 0);
  EXPECT_EQ(ring.FreeFrames(), 8);
}

TEST(Ring, WrappedFramesArriveInOrderAcrossTheEnd) {
  // 8 frames of 2 channels; reader at frame 7, writer last at frame 2: frames 7, 8, 1, 2 wait.
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(2, 8, error));
  std::int16_t next = 1;
  std::vector<std::int16_t> sink(16);
  WriteFrames(ring, 6, next);
  ASSERT_EQ(ring.Take(sink.data(), 6), 6);
  WriteFrames(ring, 4, next);
  EXPECT_EQ(ring.ReadKadr(), 7);
  EXPECT_EQ(ring.LastKadr(), 2);
  EXPECT_EQ(ring.Waiting(), 4);

  std::vector<std::int16_t> out(100, -1);
  EXPECT_EQ(ring.Take(out.data(), 50), 4);
  EXPECT_EQ((std::vector<std::int16_t>(out.begin(), out.begin() + 9)),
            (std::vector<std::int16_t>{7, 7, 8, 8, 9, 9, 10, 10, -1}));
  EXPECT_EQ(ring.ReadKadr(), 3);
  EXPECT_TRUE(ring.BufferEmpty());
}

TEST(Ring, PartialTakeStopsAtTheRingEnd) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(2, 8, error));
  std::int16_t next = 1;
  std::vector<std::int16_t> sink(16);
  WriteFrames(ring, 6, next);
  ASSERT_EQ(ring.Take(sink.data(), 6), 6);
  WriteFrames(ring, 4, next);
  std::vector<std::int16_t> out(4, -1);
  EXPECT_EQ(ring.Take(out.data(), 2), 2);
  EXPECT_EQ(out, (std::vector<std::int16_t>{7, 7, 8, 8}));
  EXPECT_EQ(ring.ReadKadr(), 1);
  EXPECT_EQ(ring.Waiting(), 2);
}

TEST(Ring, OneFrameWaitingWhenReaderMeetsWriter) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(1, 4, error));
  std::int16_t next = 1;
  std::vector<std::int16_t> sink(4);
  WriteFrames(ring, 3, next);
  ASSERT_EQ(ring.Take(sink.data(), 2), 2);
  EXPECT_EQ(ring.ReadKadr(), ring.LastKadr());
  EXPECT_EQ(ring.Waiting(), 1);
  EXPECT_FALSE(ring.BufferEmpty());
}

TEST(Ring, FullRingHasNoFreeFrames) {
  FrameRing ring;
  std::string error;
  ASSERT_TRUE(ring.Reset(3, 5, error));
  std::int16_t next = 1;
  WriteFrames(ring, 5, next);
  EXPECT_EQ(ring.Waiting(), 5);
  EXPECT_EQ(ring.FreeFrames(), 0);
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
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(ring.Waiting(), 0);
}

TEST(RingTwoThreads, CapacityOne) { RunTwoThreads(1, 1, 20000); }
TEST(RingTwoThreads, CapacityTwoWithThreeChannels) { RunTwoThreads(2, 3, 50000); }
TEST(RingTwoThreads, OddCapacity) { RunTwoThreads(7, 2, 200000); }

}  // namespace
