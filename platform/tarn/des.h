// DES for the service: key objects made from a template, and the encryption
// state that DataEncryptInit leaves in a context.
#pragma once
#include <nettle/des.h>

#include <cstdint>
#include <span>

#include "ccs/ccsrec.h"

namespace tarn {

// A DES key object. The lowest bit of each key byte is the parity bit and plays
// no part in the key. The schedule is wiped when the object is destroyed.
class DesKey {
 public:
  explicit DesKey(const std::uint8_t* key);
  DesKey(const DesKey&) = delete;
  DesKey& operator=(const DesKey&) = delete;
  ~DesKey();
  const des_ctx& schedule() const { return schedule_; }

 private:
  des_ctx schedule_;
};

// An initialised encryption: its own copy of the key schedule and the IV, so it
// outlives the key object it was made from. Every Encrypt starts again from the
// IV: it is a complete operation, and repeating it gives the same bytes.
class DesEncryption {
 public:
  DesEncryption(const DesKey& key, std::span<const std::uint8_t> iv);
  DesEncryption(const DesEncryption&) = delete;
  DesEncryption& operator=(const DesEncryption&) = delete;
  ~DesEncryption();

  // CBC from the IV over whole blocks of input into out (input.size() bytes; it
  // may be input itself).
  void Encrypt(std::span<const std::uint8_t> input, std::uint8_t* out) const;

 private:
  des_ctx schedule_;
  std::uint8_t iv_[ccs::kDesBlockSize];
};

// Expands 7 bytes (56 key bits, most significant first) into an 8-byte DES key,
// each key byte holding seven bits above its parity bit.
void ExpandDesKey(const std::uint8_t* seven, std::uint8_t* key);

}  // namespace tarn
