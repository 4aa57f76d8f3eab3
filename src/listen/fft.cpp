#include "listen/fft.h"

#include <complex>
#include <kissfft.hh>

namespace tastrello::listen {

struct RealFft::Impl {
  explicit Impl(std::size_t size) : fft(size / 2, false), spectrum(size / 2) {}
  // KISS FFT's real transform of 2N samples runs as a complex one of N.
  kissfft<float> fft;
  std::vector<std::complex<float>> spectrum;
};

RealFft::RealFft(std::size_t size) : size_(size), impl_(std::make_unique<Impl>(size)) {}
RealFft::~RealFft() = default;
RealFft::RealFft(RealFft&&) noexcept = default;
RealFft& RealFft::operator=(RealFft&&) noexcept = default;

void RealFft::magnitudes(const float* frame, std::vector<float>& out) {
  impl_->fft.transform_real(frame, impl_->spectrum.data());
  const std::size_t half = size_ / 2;
  out.resize(half + 1);
  // Bin 0 carries the DC term in its real part and the Nyquist term in its imaginary part.
  out[0] = std::abs(impl_->spectrum[0].real());
  out[half] = std::abs(impl_->spectrum[0].imag());
  for (std::size_t k = 1; k < half; ++k) out[k] = std::abs(impl_->spectrum[k]);
}

}  // namespace tastrello::listen
