// A buffer from the framework's allocator, wiped and returned to it when the
// holder goes out of scope: every buffer the client takes holds a secret or an
// answer made from one.
#pragma once
#include <cstdint>
#include <span>

#include "method/maf.h"
#include "osa/secure.h"

namespace wistra {

class MafBuffer {
 public:
  MafBuffer() = default;
  MafBuffer(const MafBuffer&) = delete;
  MafBuffer& operator=(const MafBuffer&) = delete;
  ~MafBuffer() { Release(); }

  // False when the framework has no memory left; nothing is held then. A size
  // of 0 still takes one byte, so that an empty answer has an address.
  bool Allocate(std::uint32_t size) {
    Release();
    void* p = MAF_Malloc(size != 0 ? size : 1);
    if (p == nullptr) return false;
    data_ = static_cast<std::uint8_t*>(p);
    size_ = size;
    return true;
  }
  void Release() {
    if (data_ == nullptr) return;
    osa::Wipe(data_, size_);
    MAF_Free(data_);
    data_ = nullptr;
    size_ = 0;
  }

  std::uint8_t* data() { return data_; }
  std::uint32_t size() const { return size_; }
  std::span<std::uint8_t> span() { return std::span<std::uint8_t>(data_, size_); }

 private:
  std::uint8_t* data_ = nullptr;
  std::uint32_t size_ = 0;
};

}  // namespace wistra
