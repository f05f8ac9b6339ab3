// The ring of frames between the acquisition worker (the one writer) and the
// host (the one reader). A frame is one code of every channel, channel 0
// first; ring positions count frames from 1, as the host's interface does.
//
// Lock-free single-producer/single-consumer: the writer owns `written_`, the
// reader owns `read_`; each publishes its counter with a plain release store
// (one writer per counter needs no atomic add) and reads the other's with an
// acquire load. Each counter has a cache line of its own, so the two sides do
// not slow each other down by writing to one line. Both counters only grow, so the
// frames waiting are always written_ - read_: the two sides can never both
// decide "empty" or "full", and no stored frame is hidden or delivered twice.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// The line size of x86 and most ARM cores: values that different threads
// write go on lines of their own.
inline constexpr std::size_t kCacheLine = 64;

// The last-error text of a buffer that cannot be had: "Buffer Error 7: " CR LF
// "Out of memory: a ring of 100 frames of 2 channels".
std::string BufferError(int number, const std::string& description, const std::string& what, std::int32_t channels,
                        std::int32_t frames);

class FrameRing {
 public:
  // A stretch of consecutive ring frames.
  struct Span {
    std::int16_t* codes = nullptr;
    std::int32_t frames = 0;
  };

  // Gives the ring `frames` frames of `channels` codes, all 0, and empties it.
  // Memory is reallocated only when the shape changes. Only while no writer
  // runs. On failure returns false with a "Buffer Error ..." text in `error`.
  [[nodiscard]] bool Reset(std::int32_t channels, std::int32_t frames, std::string& error);

  std::int32_t Channels() const { return channels_; }
  std::int32_t SizeKadrs() const { return size_; }

  // Writer side.
  std::int32_t FreeFrames() const;
  // Where the next `frames` frames go: one span, or two when they pass the end
  // of the ring (the second starts at frame 1). `frames` <= FreeFrames().
  std::array<Span, 2> NextSpans(std::int32_t frames);
  // Hands `frames` stored frames to the reader.
  void Publish(std::int32_t frames);

  // Reader side.
  std::int32_t Waiting() const;
  // Copies up to `max_frames` waiting frames, oldest first, with at most two
  // block moves; returns the frames copied.
  [[nodiscard]] std::int32_t Take(std::int16_t* destination, std::int32_t max_frames);

  // The host's view of the positions: the next frame to deliver (1-based),
  // the last frame written (0 = none since the reset), and "nothing waits".
  std::int32_t ReadKadr() const;
  std::int32_t LastKadr() const;
  bool BufferEmpty() const { return Waiting() == 0; }

 private:
  void Release();
  std::int16_t* Frame(std::uint64_t count) { return codes_.data() + Index(count) * channels_; }
  std::int64_t Index(std::uint64_t count) const {
    return static_cast<std::int64_t>(count % static_cast<std::uint64_t>(size_));
  }

  std::vector<std::int16_t> codes_;
  std::int32_t channels_ = 0;
  std::int32_t size_ = 0;
  alignas(kCacheLine) std::atomic<std::uint64_t> written_{0};  // frames published since the reset
  // The ring's size is a whole number of lines, so what follows it starts a new one.
  alignas(kCacheLine) std::atomic<std::uint64_t> read_{0};  // frames taken since the reset
};

}  // namespace driver
