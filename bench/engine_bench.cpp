// Engine benchmark: (1) a 2-second clip converted through the engine and
// register.dat vs the same ffmpeg command run directly, (2) probing files
// through the media probe vs ffprobe. Prints medians and ratios.
//
//   bench_engine BIN_DIR [runs] [files]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Application.h"
#include "engine/EventPump.h"

using namespace pcm;

namespace {

int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qapp(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_engine BIN_DIR [runs] [files]\n");
    return 2;
  }
  std::string bin = argv[1];
  int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  int files = argc > 3 ? std::atoi(argv[3]) : 50;
  QTemporaryDir tmp;
  std::string dir = tmp.path().toStdString();
  std::string clip = dir + "/clip.avi";
  Shell(
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "
      "sine=duration=2 -c:v mpeg4 -c:a mp2 '" +
      clip + "'");

  CoreApp app({bin + "/popclipmill"});
  bool ended = false;
  app.run.converting = true;
  app.engine.entryEndedHook = [&](EncoderJob&) { ended = true; };

  const std::vector<std::string> opts{"-vcodec", "mpeg4", "-acodec", "aac", "-f", "mp4"};
  std::vector<double> viaEngine, direct;
  for (int i = 0; i < runs; ++i) {
    // Alternate the two so that machine load affects both alike.
    std::string out1 = dir + "/e" + std::to_string(i) + ".mp4";
    intputrec r = app.engine.record;
    r.InputFile = clip;
    r.OutputFile = out1;
    r.DurationSecs = 2;
    r.StartOpt = OptionField({"-ss", "00:00:00"});
    r.LengthOpt = OptionField({"-t", "00:00:02"});
    r.AudioRateOpt = OptionField({"-ab", "128000"});
    r.VideoRateOpt = OptionField({"-r", "25", "-b", "800000"});
    r.TargetOpt = OptionField(opts);
    QElapsedTimer t;
    t.start();
    ended = false;
    app.engine.StartEncoderJob(r);
    PumpEventsUntil([&] { return ended; }, 60000);
    viaEngine.push_back(t.nsecsElapsed() / 1e6);

    std::string out2 = dir + "/d" + std::to_string(i) + ".mp4";
    t.restart();
    Shell("ffmpeg -nostdin -ss 00:00:00 -y -i '" + clip +
          "' -r 25 -b:v 800000 -b:a 128000 -t 00:00:02 -vcodec mpeg4 -acodec aac -f mp4 '" + out2 +
          "' >/dev/null 2>&1");
    direct.push_back(t.nsecsElapsed() / 1e6);
  }
  double me = Median(viaEngine), md = Median(direct);
  std::printf("conversion, %d runs: engine median %.1f ms, ffmpeg direct median %.1f ms, ratio %.3f\n", runs,
              me, md, md > 0 ? me / md : 0);

  // Probing: distinct small files so nothing is cached in the programs.
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i) {
    std::string p = dir + "/p" + std::to_string(i);
    QFile::copy(QString::fromStdString(dir + "/clip.avi"), QString::fromStdString(p + ".avi"));
    paths.push_back(p + ".avi");
  }
  QElapsedTimer t;
  t.start();
  for (auto& p : paths) app.probe.ProbeAndWait(p);
  double probeMs = t.nsecsElapsed() / 1e6;
  t.restart();
  for (auto& p : paths) Shell("ffprobe -v error '" + p + "' >/dev/null 2>&1");
  double ffprobeMs = t.nsecsElapsed() / 1e6;
  std::printf("probe, %d files: engine %.1f ms, ffprobe %.1f ms, ratio %.3f\n", files, probeMs, ffprobeMs,
              ffprobeMs > 0 ? probeMs / ffprobeMs : 0);
  app.run.converting = false;
  return 0;
}
