// A buffer from MAF_Malloc, wiped and given back with MAF_Free when its holder
// goes out of scope. Every buffer the server takes from the framework may hold
// a password, a stored hash or an answer, so none goes back unwiped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "method/maf.h"
#include "osa/secure.h"

namespace wistra {

class MafBuffer {
 public:
  // Asks for at least one byte, so that a zero-length request (an empty
  // password, a value of no bytes) is never mistaken for a failed allocation.
  explicit MafBuffer(std::uint32_t size)
      : data_(static_cast<std::uint8_t*>(MAF_Malloc(size == 0 ? 1 : size))), size_(data_ ? size : 0) {}
  MafBuffer(const MafBuffer&) = delete;
  MafBuffer& operator=(const MafBuffer&) = delete;
  ~MafBuffer() {
    if (data_ == nullptr) return;
    osa::Wipe(data_, size_);
    MAF_Free(data_);
  }

  bool ok() const { return data_ != nullptr; }
  std::uint8_t* data() { return data_; }
  std::uint32_t size() const { return size_; }
  std::span<std::uint8_t> span() { return {data_, size_}; }

 private:
  std::uint8_t* data_;
  std::uint32_t size_;
};

}  // namespace wistra
