// The settings file: whatever a file holds, saving the model and loading the saved file
// again must give the same model. The game rewrites config.ini at every start, so a
// model that drifts on each round trip would slowly rewrite the player's settings.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/settings.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bg;
  const std::string in = fuzz::WriteScratch("in.ini", data, size);
  const std::string out = fuzz::ScratchDir() + "/out.ini";
  ::unlink(out.c_str());

  TVellIni first = TVellIni::Create(in);
  first.Load();
  for (const auto& s : first.Sections.Items())
    for (const auto& [key, value] : s->Values) (void)TextToInt(value);  // every value may be read as a number

  first.Filename = out;
  fuzz::Check(first.Save(1), "saving to a fresh file failed");
  TVellIni second = TVellIni::Create(out);
  second.Load();
  const std::string a = first.GetIniText(), b = second.GetIniText();
  if (a != b) {
    std::fprintf(stderr, "--- model after loading the input ---\n%s\n--- after saving and loading again ---\n%s\n",
                 a.c_str(), b.c_str());
    fuzz::Fail("settings changed in a save/load round trip");
  }
  return 0;
}
