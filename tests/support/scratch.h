#pragma once
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace bg::test {

// A fresh directory under /tmp for one test's files, removed with the object.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char tmpl[] = "/tmp/blastgrid-test-XXXXXX";
    path = mkdtemp(tmpl) ? tmpl : "";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
};

}  // namespace bg::test
