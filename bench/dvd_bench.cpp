// DVD benchmark helper for bench/run-dvd:
//
//   bench_dvd list VIDEO_TS [runs]
//     Reads every IFO file of the folder through the IFO reader layer, as a
//     listing does: once in a child process per file (the adapter, what
//     the program does) and once in this process. Prints "titles child_ms inprocess_ms",
//     the medians of the runs.
//
//   bench_dvd form VIDEO_TS TITLESET TITLE
//     Prints the adapter's DVD input for the whole title (first audio
//     stream, no subtitle) on the first line and its sector ranges, one
//     "first last" pair a line, after it, so that the script can cut the
//     same bytes out of the VOB files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DvdInputForm.h"
#include "dvd/IfoReader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<std::string> IfoFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (pcm::ifo::TitleSetFromName(entry.path().filename().string()) >= 0)
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Reads all files with read; returns the milliseconds taken and the titles.
template <typename Read>
double TimeReading(const std::vector<std::string>& files, Read read, int* titles) {
  auto start = Clock::now();
  *titles = 0;
  for (const auto& f : files)
    if (auto file = read(f)) *titles += int(file->titles.size());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int List(const std::string& folder, int runs) {
  std::vector<std::string> files = IfoFiles(folder);
  if (files.empty()) {
    std::fprintf(stderr, "bench_dvd: no IFO files in %s\n", folder.c_str());
    return 1;
  }
  std::vector<double> child, inProcess;
  int titles = 0;
  for (int i = 0; i < runs; ++i) {
    // Alternate the two so that machine load affects both alike.
    child.push_back(TimeReading(files, pcm::ifo::ReadIfoFile, &titles));
    inProcess.push_back(TimeReading(files, pcm::ifo::ReadIfoFileInProcess, &titles));
  }
  std::printf("%d %.3f %.3f\n", titles, Median(child), Median(inProcess));
  return 0;
}

int Form(const std::string& folder, int titleSet, int title) {
  char name[16];
  std::snprintf(name, sizeof name, "/VTS_%02d_0.IFO", titleSet);
  auto file = pcm::ifo::ReadIfoFileInProcess(folder + name);
  if (!file || title < 1 || title > int(file->titles.size())) {
    std::fprintf(stderr, "bench_dvd: title set %d of %s has no title %d\n", titleSet, folder.c_str(), title);
    return 1;
  }
  const auto& t = file->titles[size_t(title - 1)];
  pcm::DvdInputForm form;
  form.folder = file->folder;
  form.titleSet = titleSet;
  form.programChain = t.programChain;
  form.sectors = {{t.firstSector, t.lastSector}};
  form.audioId = t.audio.empty() ? 0 : t.audio[0].id;
  std::printf("%s\n", pcm::EncodeDvdInput(form).c_str());
  for (const auto& r : form.sectors) std::printf("%u %u\n", r.first, r.last);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The adapter that reads IFO files lives in bin/ beside bench/.
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error)
    pcm::ifo::SetIfoReaderProgram((self.parent_path().parent_path() / "bin" / "register.dat").string());
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "list" && argc >= 3) return List(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 11);
  if (mode == "form" && argc == 5) return Form(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: bench_dvd list VIDEO_TS [runs]\n"
               "       bench_dvd form VIDEO_TS TITLESET TITLE\n");
  return 2;
}
