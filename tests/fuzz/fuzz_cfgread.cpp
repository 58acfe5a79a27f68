// The configuration-file reader over any file content, and the writer's lines
// read back. Checked: nothing is written past the name buffer or the value
// buffer (each exactly its size), a decoded size never exceeds the room given,
// the name read is always terminated, and an entry the writer wrote within the
// reader's limits reads back as written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "osa/osaureg.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_cfgread: %s\n", what);
  std::abort();
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A read-only stream over the bytes (a private copy: fmemopen may not be given
// a zero size, so an empty file is a stream over one byte already consumed).
File Stream(std::vector<char>& bytes) {
  if (bytes.empty()) {
    bytes.push_back('\0');
    File f(fmemopen(bytes.data(), 1, "r"));
    if (f) std::fgetc(f.get());
    return f;
  }
  return File(fmemopen(bytes.data(), bytes.size(), "r"));
}

void ReadAll(const std::uint8_t* data, std::size_t size, std::uint32_t dstLen) {
  std::vector<char> content(data, data + size);
  File f = Stream(content);
  if (!f) return;
  std::unique_ptr<char[]> name(new char[kCfgNameSize]);
  std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[dstLen]);
  // A file of n bytes holds at most n + 1 lines.
  for (std::size_t line = 0; line <= size + 1 && !std::feof(f.get()); ++line) {
    std::memset(name.get(), 'X', kCfgNameSize);
    name[kCfgNameSize - 1] = '\0';
    char type = 0;
    const std::int32_t got = OSA_unxCfgRead(f.get(), name.get(), &type, dst.get(), dstLen);
    if (got < 0 || static_cast<std::uint32_t>(got) > dstLen) Fail("OSA_unxCfgRead: decoded size beyond the room");
    if (std::memchr(name.get(), '\0', kCfgNameSize) == nullptr) Fail("OSA_unxCfgRead: name left unterminated");
    if (got > 0 && type == 's' && dst[got - 1] != '\0') Fail("OSA_unxCfgRead: string value without its terminator");
  }
}

void Lookup(const std::uint8_t* data, std::size_t size, std::uint32_t dstLen) {
  // The key is the text before the first newline; the file is everything.
  const auto* nl = static_cast<const std::uint8_t*>(std::memchr(data, '\n', size));
  if (nl == nullptr) return;
  const std::string key(reinterpret_cast<const char*>(data), static_cast<std::size_t>(nl - data));
  if (key.find('\0') != std::string::npos) return;
  std::vector<char> content(data, data + size);
  File f = Stream(content);
  if (!f) return;
  std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[dstLen]);
  char type = 0;
  const std::int32_t got = OSA_unxCfgLookup(f.get(), key.c_str(), &type, dst.get(), static_cast<std::int32_t>(dstLen));
  if (got < 0 || static_cast<std::uint32_t>(got) > dstLen) Fail("OSA_unxCfgLookup: decoded size beyond the room");
}

// Name and value from the input; the writer's line must read back unchanged
// when it lies within the reader's limits.
void WriteThenRead(const std::uint8_t* data, std::size_t size, bool binary) {
  if (size < 1) return;
  const std::size_t nameLen = data[0] % 40;
  if (size - 1 < nameLen) return;
  const std::string name(reinterpret_cast<const char*>(data + 1), nameLen);
  const std::vector<std::uint8_t> value(data + 1 + nameLen, data + size);

  char* memory = nullptr;
  std::size_t memorySize = 0;
  FILE* raw = open_memstream(&memory, &memorySize);
  if (raw == nullptr) return;
  std::int32_t put = 0;
  std::string text;
  if (binary) {
    put = OSA_unxCfgWrite(raw, name.c_str(), 'b', value.data(), static_cast<std::uint32_t>(value.size()));
  } else {
    text.assign(value.begin(), value.end());
    text = text.substr(0, text.find('\0'));
    put = OSA_unxCfgWrite(raw, name.c_str(), 's', text.c_str(), 0);
  }
  std::fclose(raw);
  std::vector<char> written(memory, memory + memorySize);
  std::free(memory);

  const bool nameOk = !name.empty() && name.size() <= static_cast<std::size_t>(kCfgMaxWrittenName) &&
                      name.find_first_of(std::string(":\n\0", 3)) == std::string::npos;
  const std::size_t valueText = binary ? (value.empty() ? 0 : 3 * value.size() - 1) : text.size();
  const bool valueOk = binary ? !value.empty() : (!text.empty() && text.find('\n') == std::string::npos);
  const bool fits = 3 * value.size() + name.size() + 8 <= 300 && valueText < static_cast<std::size_t>(kCfgValueSize) &&
                    text.size() + name.size() + 8 <= 300;
  if (!(nameOk && valueOk && fits)) return;
  if (put != static_cast<std::int32_t>(binary ? value.size() : text.size())) Fail("OSA_unxCfgWrite: refused an entry within limits");

  File f = Stream(written);
  if (!f) return;
  char readName[kCfgNameSize] = {};
  char type = 0;
  std::vector<std::uint8_t> dst(300);
  const std::int32_t got = OSA_unxCfgRead(f.get(), readName, &type, dst.data(), static_cast<std::uint32_t>(dst.size()));
  if (name != readName) Fail("written name read back differently");
  if (binary) {
    if (type != 'b' || got != static_cast<std::int32_t>(value.size()) ||
        std::memcmp(dst.data(), value.data(), value.size()) != 0) {
      Fail("written binary value read back differently");
    }
  } else if (type != 's' || got != static_cast<std::int32_t>(text.size() + 1) ||
             std::memcmp(dst.data(), text.c_str(), text.size() + 1) != 0) {
    Fail("written string value read back differently");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::uint32_t dstLen = data[1] + ((mode & 0x80) != 0 ? 256u : 0u);
  data += 2;
  size -= 2;
  switch (mode & 3) {
    case 0: ReadAll(data, size, dstLen); break;
    case 1: Lookup(data, size, dstLen); break;
    case 2: WriteThenRead(data, size, true); break;
    default: WriteThenRead(data, size, false); break;
  }
  return 0;
}
