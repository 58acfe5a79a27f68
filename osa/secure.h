// Secret hygiene: a wipe the compiler cannot drop, a constant-time compare, and
// RAII holders that wipe on every path out of a scope.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace osa {

// Overwrites n bytes at p with zeros; never optimised away.
void Wipe(void* p, std::size_t n);

// True when a and b have the same length and bytes; the time taken depends only
// on the lengths.
bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// A fixed-size stack buffer for a secret, wiped when it goes out of scope.
template <std::size_t N>
class SecretBuffer {
 public:
  SecretBuffer() = default;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;
  ~SecretBuffer() { Wipe(bytes_, N); }

  std::uint8_t* data() { return bytes_; }
  const std::uint8_t* data() const { return bytes_; }
  static constexpr std::size_t size() { return N; }
  std::span<std::uint8_t, N> span() { return std::span<std::uint8_t, N>(bytes_); }
  std::span<const std::uint8_t, N> span() const { return std::span<const std::uint8_t, N>(bytes_); }
  std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return bytes_[i]; }

 private:
  std::uint8_t bytes_[N] = {};
};

// Wipes a caller-owned object (a hash context, a key schedule) when the scope ends.
class WipeOnExit {
 public:
  WipeOnExit(void* p, std::size_t n) : p_(p), n_(n) {}
  template <typename T>
  explicit WipeOnExit(T& object) : p_(&object), n_(sizeof(T)) {}
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;
  ~WipeOnExit() { Wipe(p_, n_); }

 private:
  void* p_;
  std::size_t n_;
};

// Runs a callable when the scope ends unless cancelled: the pairing of an
// acquire with its release, written once next to the acquire.
template <typename F>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) f_();
  }
  void Cancel() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace osa
