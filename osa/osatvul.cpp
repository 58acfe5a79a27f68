#include "osa/osatvul.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/times.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <type_traits>

namespace {

constexpr const char* kDefaultDevice = "/dev/urandom";
const char* randomDevice = kDefaultDevice;

std::uint32_t nextRand = 2949243u;  // 0x2D007B
std::uint32_t callsCount = 0;

constexpr std::uint32_t kStirConstant = 0xA57D8666u;
constexpr std::uint32_t kMixConstant = 0x5A827999u;
constexpr std::uint32_t kMultiplier = 663608941u;

// The low 32 bits of a number or an address.
template <typename T>
std::uint32_t Word(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
  } else {
    return static_cast<std::uint32_t>(value);
  }
}

// The pass's stack-derived inputs come from memory this routine owns: the words
// of its call path (arguments, frame and return addresses, passes so far) and a
// history of the platform readings it has made, newest last, ending at the output
// index. Both vary with the call path and with the process's history.
struct Generator {
  std::uint8_t* buffer;
  std::uint32_t length;
  std::uint32_t i = 0;
  std::uint32_t r = 0;
  std::uint32_t callPath[16] = {};
  std::uint32_t history[16] = {};
  std::uint32_t historyAt = 0;

  void mix(std::uint32_t x, std::uint32_t y) { r = (r ^ x) | (~r ^ y); }
  void stir(std::uint32_t x) { r = (r ^ x) | (r ^ kStirConstant); }
  void note(std::uint32_t x) { history[historyAt++ % 16] = x; }
  // True once the buffer is full.
  bool emit(std::uint32_t b) {
    buffer[i] ^= static_cast<std::uint8_t>(b);
    ++i;
    return i == length;
  }
  std::uint32_t ticks(tms* t) {
    const std::uint32_t n = Word(::times(t));
    note(n);
    return n;
  }
  std::uint32_t cpu() {
    const std::uint32_t n = Word(std::clock());
    note(n);
    return n;
  }
};

}  // namespace

extern "C" std::int32_t OSA_GetRandom(std::uint8_t* buffer, std::uint32_t length) {
  if (buffer == nullptr || length == 0) return 0;
  const int fd = ::open(randomDevice, O_RDONLY);
  if (fd >= 0) {
    (void)::read(fd, buffer, length);
    ::close(fd);
  }

  Generator g{buffer, length};
  void* const returnAddress = __builtin_return_address(0);
  const std::uintptr_t frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  const std::uintptr_t bufferAddress = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uint32_t callPathSeed[16] = {
      Word(bufferAddress), Word(static_cast<std::uint64_t>(bufferAddress) >> 32), length, Word(frame),
      Word(static_cast<std::uint64_t>(frame) >> 32), Word(returnAddress),
      Word(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(returnAddress)) >> 32), Word(&g),
      Word(&length), Word(&buffer), callsCount, nextRand, Word(fd), Word(::getpid()), Word(buffer[0]),
      Word(buffer[length - 1])};
  std::memcpy(g.callPath, callPathSeed, sizeof g.callPath);

  for (std::uint32_t pass = 0;; ++pass) {
    timeval tv{};
    tms t{};
    ::gettimeofday(&tv, nullptr);
    g.note(Word(tv.tv_usec));
    g.mix(Word(tv.tv_usec), g.ticks(&t));
    if (g.emit(g.r) || g.emit(g.r >> 8)) return 0;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    g.note(Word(usage.ru_minflt));
    g.mix(Word(usage.ru_minflt), Word(usage.ru_majflt));
    if (g.emit(g.r)) return 0;

    g.mix(Word(pthread_self()), Word(::getpid()));
    if (g.emit(g.r)) return 0;

    g.mix(Word(::getppid()), g.ticks(&t));
    if (g.emit(((g.r >> 8) ^ g.r) | ((g.r >> 16) + (g.r >> 24)))) return 0;

    g.mix(Word(t.tms_stime), Word(t.tms_utime));
    g.mix(kMixConstant, g.cpu());
    if (g.emit(g.r) || g.emit(g.r >> 8)) return 0;

    ::gettimeofday(&tv, nullptr);
    g.note(Word(tv.tv_sec));
    g.mix(Word(tv.tv_sec), Word(tv.tv_usec));
    if (g.emit(g.r) || g.emit(g.r >> 8)) return 0;

    const timespec zero{0, 0};
    ::nanosleep(&zero, nullptr);
    g.stir(Word(returnAddress));
    g.callPath[15] ^= pass;
    for (std::uint32_t w : g.callPath) g.stir(w);
    if (g.emit(g.r)) return 0;

    g.note(g.i);
    for (std::uint32_t k = 0; k < 16; ++k) g.stir(g.history[(g.historyAt + k) % 16]);
    g.mix(Word(&g), Word(reinterpret_cast<std::uintptr_t>(&OSA_GetRandom)));
    ++callsCount;
    g.stir(callsCount);
    if (g.emit(g.r)) return 0;

    const std::uint32_t s = ((g.r ^ nextRand) | (g.r ^ kStirConstant)) | 1u;
    nextRand = s * kMultiplier;
    g.mix(g.cpu(), nextRand);
    if (g.emit(g.r) || g.emit(g.r >> 8)) return 0;
  }
}

void osa::testing::SetRandomDevice(const char* path) { randomDevice = path != nullptr ? path : kDefaultDevice; }
osa::testing::RandomState osa::testing::GetRandomState() { return {nextRand, callsCount}; }
