#include "driver/ring.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace driver {

std::string BufferError(int number, const std::string& description, const std::string& what, std::int32_t channels,
                        std::int32_t frames) {
  return "Buffer Error " + std::to_string(number) + ": \r\n" + description + ": " + what + " of " +
         std::to_string(frames) + " frames of " + std::to_string(channels) + " channels";
}

bool FrameRing::Reset(std::int32_t channels, std::int32_t frames, std::string& error) {
  const auto codes = static_cast<std::uint64_t>(std::max(channels, 0)) * static_cast<std::uint64_t>(std::max(frames, 0));
  // The host counts ring sizes in codes as 32-bit numbers.
  if (channels < 1 || frames < 1 || codes > static_cast<std::uint64_t>(INT32_MAX) || codes > codes_.max_size()) {
    Release();
    error = BufferError(6, "Overflow", "a ring", channels, frames);
    return false;
  }
  try {
    if (channels == channels_ && frames == size_) {
      std::fill(codes_.begin(), codes_.end(), std::int16_t{0});
    } else {
      Release();  // give the old ring back before asking for the new one
      codes_.assign(static_cast<size_t>(codes), 0);
      channels_ = channels;
      size_ = frames;
    }
  } catch (const std::bad_alloc&) {
    Release();
    error = BufferError(7, "Out of memory", "a ring", channels, frames);
    return false;
  }
  // No writer or reader runs during a reset.
  written_.store(0, std::memory_order_relaxed);
  read_.store(0, std::memory_order_relaxed);
  return true;
}

void FrameRing::Release() {
  codes_.clear();
  codes_.shrink_to_fit();
  channels_ = size_ = 0;
  written_.store(0, std::memory_order_relaxed);
  read_.store(0, std::memory_order_relaxed);
}

std::int32_t FrameRing::FreeFrames() const {
  // acquire: the reader is done with every frame it has counted as taken, so
  // those slots may be overwritten.
  const std::uint64_t read = read_.load(std::memory_order_acquire);
  const std::uint64_t written = written_.load(std::memory_order_relaxed);  // our own counter
  return size_ - static_cast<std::int32_t>(written - read);
}

std::array<FrameRing::Span, 2> FrameRing::NextSpans(std::int32_t frames) {
  const std::uint64_t written = written_.load(std::memory_order_relaxed);  // our own counter
  const auto first = static_cast<std::int32_t>(std::min<std::int64_t>(frames, size_ - Index(written)));
  return {Span{Frame(written), first}, Span{codes_.data(), frames - first}};
}

void FrameRing::Publish(std::int32_t frames) {
  // release: the codes stored in these frames become visible before the
  // reader can count them.
  const std::uint64_t written = written_.load(std::memory_order_relaxed);  // our own counter
  written_.store(written + static_cast<std::uint64_t>(frames), std::memory_order_release);
}

std::int32_t FrameRing::Waiting() const {
  // Load read_ first: written_ only grows, so a later load of it can only
  // overcount towards frames that really were published, never past size_.
  const std::uint64_t read = read_.load(std::memory_order_acquire);
  const std::uint64_t written = written_.load(std::memory_order_acquire);
  return static_cast<std::int32_t>(written - read);
}

std::int32_t FrameRing::Take(std::int16_t* destination, std::int32_t max_frames) {
  // acquire: every code of the frames counted here was stored before the
  // writer published them.
  const std::uint64_t written = written_.load(std::memory_order_acquire);
  const std::uint64_t read = read_.load(std::memory_order_relaxed);  // our own counter
  const auto count = static_cast<std::int32_t>(std::min<std::uint64_t>(written - read, std::max(max_frames, 0)));
  if (count == 0) return 0;
  const auto frame_bytes = static_cast<size_t>(channels_) * sizeof(std::int16_t);
  const auto first = static_cast<std::int32_t>(std::min<std::int64_t>(count, size_ - Index(read)));
  std::memcpy(destination, Frame(read), static_cast<size_t>(first) * frame_bytes);
  std::memcpy(destination + static_cast<size_t>(first) * static_cast<size_t>(channels_), codes_.data(),
              static_cast<size_t>(count - first) * frame_bytes);
  // release: our copies are finished before the writer may reuse the frames.
  read_.store(read + static_cast<std::uint64_t>(count), std::memory_order_release);
  return count;
}

std::int32_t FrameRing::ReadKadr() const {
  return size_ == 0 ? 1 : static_cast<std::int32_t>(Index(read_.load(std::memory_order_acquire))) + 1;
}

std::int32_t FrameRing::LastKadr() const {
  const std::uint64_t written = written_.load(std::memory_order_acquire);
  return written == 0 ? 0 : static_cast<std::int32_t>(Index(written - 1)) + 1;
}

}  // namespace driver
