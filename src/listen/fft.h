// The one Fourier transform of the listening logic: KISS FFT (Debian's libkissfft-dev, its
// header-only C++ class, BSD-3-Clause) behind a class of its own, so that no other file
// includes it and another FFT could take its place here alone.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace tastrello::listen {

/// The magnitudes of the spectrum of real frames of one even size. Buffers are made once, in
/// the constructor: a transform allocates nothing (it may run in an audio thread).
class RealFft {
 public:
  explicit RealFft(std::size_t size);
  ~RealFft();
  RealFft(RealFft&&) noexcept;
  RealFft& operator=(RealFft&&) noexcept;

  std::size_t size() const { return size_; }
  /// `size()` samples in; `size() / 2 + 1` magnitudes out (bin k at k x rate / size), unscaled:
  /// a sine of amplitude a fills its bin with a x (the sum of the frame's window) / 2.
  void magnitudes(const float* frame, std::vector<float>& out);

 private:
  struct Impl;
  std::size_t size_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tastrello::listen
