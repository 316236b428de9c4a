// profiles.pop: the first byte picks the profile, the rest is the file.
// Selecting it either works or says why; then an entry's options and size
// estimate are made from it.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "profiles/Catalog.h"
#include "core/Application.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int n = 1 + data[0] % 120;
  pcm::CoreApp& app = fuzz::App();
  fuzz::WriteFile(fuzz::ScratchDir() + "profiles.pop",
                  std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  if (!pcm::ProfileInfo(n)) return 0;
  try {
    app.profiles.SelectProfile(n);
  } catch (const pcm::CommandError&) {
    return 0;
  }
  pcm::ListRow row;
  row.entry.sourcePath = "/in/clip.avi";
  row.entry.width = 640;
  row.entry.height = 480;
  row.entry.duration = "00:01:40";
  row.entry.videoKbps = 1000;
  row.trim.total = row.trim.end = 100;
  try {
    app.options.EstimateOutputSize(row);
    pcm::intputrec rec = app.engine.record;
    app.options.FillProfileOptions(rec, row);
  } catch (const std::exception&) {
  }
  return 0;
}
