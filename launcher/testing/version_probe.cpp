// Reads a program's version resource back the way Windows itself does and
// prints it as "key=value" lines, so a test can compare them.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: version_probe <file>\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) {
    std::fprintf(stderr, "version_probe: %s has no version resource\n", argv[1]);
    return 1;
  }
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, block.data())) {
    std::fprintf(stderr, "version_probe: cannot read the version resource of %s\n", argv[1]);
    return 1;
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
    std::fprintf(stderr, "version_probe: no fixed version block\n");
    return 1;
  }
  const auto printVersion = [](const char* key, DWORD high, DWORD low) {
    std::printf("%s=%u.%u.%u.%u\n", key, static_cast<unsigned>(HIWORD(high)),
                static_cast<unsigned>(LOWORD(high)), static_cast<unsigned>(HIWORD(low)),
                static_cast<unsigned>(LOWORD(low)));
  };
  printVersion("file", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  printVersion("product", fixed->dwProductVersionMS, fixed->dwProductVersionLS);

  // The string table is found through the language and code page the
  // resource itself declares, not through an assumed pair.
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation)) {
    std::fprintf(stderr, "version_probe: no translation table\n");
    return 1;
  }
  for (const char* key : {"FileVersion", "ProductVersion", "Build Number"}) {
    char query[96];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translations[0].language,
                  translations[0].codePage, key);
    char* value = nullptr;
    if (VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &length) &&
        value != nullptr) {
      std::printf("%s=%.*s\n", key, static_cast<int>(length), value);
    }
  }
  return 0;
}
