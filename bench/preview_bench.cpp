// Preview benchmark helper for bench/run-preview: drives the player layer
// headless (no video output, no sound), as the program does without a
// display.
//
//   bench_preview first CLIP [runs]
//     Time from the play command (opening the preview and calling Play) to
//     the first position the player reports; the preview is stopped at
//     that report. Prints each run's milliseconds on a line.
//
//   bench_preview cpu CLIP SECONDS
//     Plays CLIP for SECONDS of wall time (or to its end) and prints the
//     user and system CPU seconds the playing took, this process's threads
//     together.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "preview/Player.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto secs = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return secs(usage.ru_utime) + secs(usage.ru_stime);
}

int First(const std::string& clip, int runs) {
  for (int i = 0; i < runs; ++i) {
    pcm::preview::Player player;
    auto start = Clock::now();
    double firstMs = -1;
    player.InitPreviewWindow(nullptr, 0, 0);
    player.SetEventFuntion([&](double) {
      if (firstMs < 0) {
        firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        player.Stop();
      }
    });
    player.Play(clip);
    if (firstMs < 0) {
      std::fprintf(stderr, "bench_preview: %s reported no position (%s)\n", clip.c_str(),
                   player.LastError().c_str());
      return 1;
    }
    std::printf("%.3f\n", firstMs);
  }
  return 0;
}

int Cpu(const std::string& clip, double seconds) {
  pcm::preview::Player player;
  player.InitPreviewWindow(nullptr, 0, 0);
  // Play keeps the event loop running on this thread; the timer ends it.
  QTimer::singleShot(int(seconds * 1000), [&] { player.Stop(); });
  double before = CpuSeconds();
  pcm::preview::PlayEnd end = player.Play(clip);
  double used = CpuSeconds() - before;
  if (end == pcm::preview::PlayEnd::Failed) {
    std::fprintf(stderr, "bench_preview: %s could not be played (%s)\n", clip.c_str(),
                 player.LastError().c_str());
    return 1;
  }
  std::printf("%.3f\n", used);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("POPCLIPMILL_HEADLESS_PREVIEW", "1", 1);
  QCoreApplication app(argc, argv);
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "first" && argc >= 3) return First(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 11);
  if (mode == "cpu" && argc == 4) return Cpu(argv[2], std::atof(argv[3]));
  std::fprintf(stderr,
               "usage: bench_preview first CLIP [runs]\n"
               "       bench_preview cpu CLIP SECONDS\n");
  return 2;
}
