// The INI layer: any file reads without harm, and a value written with Set
// does not change its neighbours once saved and read again.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "profiles/Ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string path = fuzz::ScratchDir() + "fuzz.ini";
  fuzz::WriteFile(path, bytes);
  {
    pcm::IniFile ini(path);
    std::string value;
    for (const char* section : {"popclipmill", "1", "Settings"})
      for (const char* key : {"selcetsubindex", "size", "outputpath", "a"}) {
        ini.Get(section, key, value);
        ini.GetInt(section, key, 0);
        ini.GetBool(section, key, false);
      }
  }
  // The input as a value between two fixed neighbours.
  std::remove(path.c_str());
  try {
    pcm::IniFile ini(path);
    ini.Set("s", "before", "1");
    ini.Set("s", "value", bytes);
    ini.Set("s", "after", "2");
    if (!ini.Save()) return 0;
  } catch (const std::exception&) {
    return 0;  // a value the layer refuses, with a reason
  }
  pcm::IniFile again(path);
  if (again.GetString("s", "before", "") != "1" || again.GetString("s", "after", "") != "2")
    fuzz::Fail("a written value changed its neighbours");
  return 0;
}
