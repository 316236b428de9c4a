// What the program does without a window: a short demonstration batch.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "app/BatchFrontEnd.h"

namespace pcm {

int RunDemonstration(const std::string& programPath) {
  std::printf(
      "PopClipMill (built without the window): a demonstration batch.\n"
      "Run with --help to see the batch options.\n\n");
  QTemporaryDir dir(QDir::tempPath() + "/popclipmill-demo-XXXXXX");
  if (!dir.isValid()) {
    std::fprintf(stderr, "popclipmill: cannot create a temporary folder\n");
    return kExitFailed;
  }
  // The folder stays so that the converted file can be looked at.
  dir.setAutoRemove(false);
  const char* ff = std::getenv("POPCLIPMILL_FFMPEG");
  QString ffmpeg = ff && *ff ? QString::fromLocal8Bit(ff) : QStringLiteral("ffmpeg");
  QString clip = dir.filePath("demo clip.mp4");
  QStringList args = {"-nostdin",
                      "-v",
                      "error",
                      "-f",
                      "lavfi",
                      "-i",
                      "testsrc=size=320x240:rate=25",
                      "-f",
                      "lavfi",
                      "-i",
                      "sine=frequency=440:sample_rate=44100",
                      "-t",
                      "3",
                      "-pix_fmt",
                      "yuv420p",
                      "-c:v",
                      "libx264",
                      "-c:a",
                      "aac",
                      "-y",
                      clip};
  std::printf("1. Making a 3-second test clip with %s:\n   %s\n", ffmpeg.toLocal8Bit().constData(),
              clip.toLocal8Bit().constData());
  std::fflush(stdout);
  QProcess make;
  make.setProcessChannelMode(QProcess::ForwardedChannels);
  make.start(ffmpeg, args);
  if (!make.waitForFinished(60000) || make.exitStatus() != QProcess::NormalExit || make.exitCode() != 0) {
    std::fprintf(stderr, "popclipmill: could not make the test clip (is ffmpeg installed?)\n");
    return kExitFailed;
  }
  BatchRequest req;
  req.output = dir.filePath("converted").toStdString();
  req.paths = {clip.toStdString()};
  std::printf("2. Converting it with the saved profile into %s\n\n", req.output->c_str());
  std::fflush(stdout);
  int status = RunBatch(programPath, req);
  std::printf("\n3. Done (exit status %d). The files are in %s\n", status,
              dir.path().toLocal8Bit().constData());
  return status;
}

}  // namespace pcm
