#pragma once
// Helpers shared by the fuzz targets: a private scratch directory for loaders that take a
// path, and a loud failure that libFuzzer records as a crash with its input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

namespace bg::fuzz {

// tmpfs when there is one: the loaders open, write and fsync files on every input.
// Never freed, so the exit handler that removes the directory can still read its name.
inline const std::string& ScratchDir() {
  static const std::string* dir = [] {
    std::error_code ec;
    const char* base = std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env && std::string(base) == "/tmp") base = env;
    auto* d = new std::string(std::string(base) + "/bg-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(*d, ec);
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(ScratchDir(), e);
    });
    return d;
  }();
  return *dir;
}

inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchDir() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::abort();  // the harness cannot work at all: stop rather than report nonsense
  }
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Feeds the stream in three pieces, cut where the byte's two halves say (in sixteenths).
template <class Feed>
void FeedInThree(uint8_t cuts, std::span<const uint8_t> s, Feed&& feed) {
  const size_t cut1 = (cuts & 0x0F) * s.size() / 16, cut2 = cut1 + (cuts >> 4) * (s.size() - cut1) / 16;
  feed(s.subspan(0, cut1));
  feed(s.subspan(cut1, cut2 - cut1));
  feed(s.subspan(cut2));
}

}  // namespace bg::fuzz
