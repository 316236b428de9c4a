#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Application.h"
#include "support/Fixtures.h"

namespace queuetest {

// A scripted fake encoder, put in place of register.dat in a program
// directory of the test's own, so that descriptions, exit codes and output
// are exactly what a test needs:
// - a probe ("-i PATH") prints the file PATH.probe when there is one, and
//   nothing otherwise, then exits 1 as a probe does; "--describe-each
//   PATH..." does so for each path in turn, each followed by a 0x1E byte;
// - a conversion logs its input to calls.log beside the script, then acts
//   by the input's file name: "fail" prints an error and exits 1, "empty" exits 0
//   without output, "crash" kills itself, "half" writes part of a file and
//   exits 1, "short" writes a file of 3 s and exits 0, "wait" prints progress
//   and waits until the file INPUT.go exists; anything else writes the output
//   file and reports the default description's 10 s. "half" names its output
//   file in its lines, as the encoder does.
inline const char* kFakeEncoder = R"SH(
here=$(dirname "$0")
if { [ "$#" -eq 2 ] && [ "$1" = "-i" ]; } || [ "$1" = "--describe-each" ]; then
  mode=$1; shift
  for file in "$@"; do
  set -- -i "$file"
  echo "$2" >> "$here/probes.log"
  [ -f "$2.probe" ] && cat "$2.probe"
  [ "$mode" = "-i" ] || printf '\036'
  done
  exit 1
fi
in=""; prev=""
for a in "$@"; do [ "$prev" = "-i" ] && in="$a"; prev="$a"; done
for out in "$@"; do :; done
echo "$in" >> "$here/calls.log"
case "$(basename "$in")" in
  *fail*) printf 'Input stream error\nError: scripted failure\n'; exit 1 ;;
  *empty*) exit 0 ;;
  *crash*) kill -9 $$ ;;
  *half*) printf 'partial' > "$out"; echo "Output #0, mp3, to '$out':"; echo 'Error: disk full'; exit 1 ;;
  *short*) printf 'frame= 2 time=3.00 bitrate= 8.0kbits/s\r'; printf 'cut' > "$out"; exit 0 ;;
  *wait*) printf 'frame= 1 time=1.00 bitrate= 8.0kbits/s\r'
          while [ ! -f "$in.go" ]; do sleep 0.02; done ;;
esac
printf 'frame= 2 time=10.00 bitrate= 8.0kbits/s\r'
printf 'converted' > "$out"
exit 0
)SH";

// A description as the adapter gives it, rates in kbit/s and the length as
// hh:mm:ss.cc. A stream is left out when its rate is nullopt and has no rate
// when it is "". No size is given, so no rate is capped by it.
inline std::string Description(const std::string& total, std::optional<std::string> video,
                               std::optional<std::string> audio,
                               const std::string& duration = "00:00:10.00") {
  const long long ms = (std::stoll(duration.substr(0, duration.find(':'))) * 3600 +
                        std::stoll(duration.substr(duration.find(':') + 1, 2)) * 60) *
                           1000 +
                       std::llround(std::stod(duration.substr(duration.rfind(':') + 1)) * 1000);
  auto rate = [](const std::string& kbps) {
    return kbps.empty() || kbps == "N/A" ? std::string() : " bit_rate=" + kbps + "000";
  };
  std::string t = "media format=avi duration_ms=" + std::to_string(ms) + rate(total) + " size=0\n";
  if (video) t += "stream index=0 kind=video codec=mpeg4 width=640 height=480 fps=25/1" + rate(*video) + "\n";
  if (audio) t += "stream index=1 kind=audio codec=mp3 channels=2 sample_rate=44100" + rate(*audio) + "\n";
  return t;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path;
  f.write(text.data(), qint64(text.size()));
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  QFile f(QString::fromStdString(path));
  std::vector<std::string> lines;
  if (!f.open(QIODevice::ReadOnly)) return lines;
  for (const QByteArray& l : f.readAll().split('\n'))
    if (!l.isEmpty()) lines.push_back(l.toStdString());
  return lines;
}

inline bool Exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

// A CoreApp over a program directory with the fake encoder, settings in a
// fresh folder, the saved profile selected as at start-up.
struct FakeApp {
  explicit FakeApp(const std::string& tag, const std::string& programName = "popclipmill") {
    setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir(tag + "-config").c_str(), 1);
    programPath = pcmtest::MakeProgramDir(tag, kFakeEncoder, programName);
    dir = QFileInfo(QString::fromStdString(programPath)).absolutePath().toStdString() + "/";
    app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{programPath, nullptr, &ui, &system});
    app->settings.LoadSettings();
  }
  std::vector<std::string> Calls() const { return ReadLines(dir + "calls.log"); }
  std::vector<std::string> Probes() const { return ReadLines(dir + "probes.log"); }

  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  std::string programPath;
  std::string dir;
  std::unique_ptr<pcm::CoreApp> app;
};

// A media file of the fake encoder: any content, described by PATH.probe.
inline std::string FakeMedia(const std::string& folder, const std::string& name,
                             const std::string& description = Description("1000", "872", "128")) {
  std::string path = folder + "/" + name;
  WriteFile(path, "media");
  if (!description.empty()) WriteFile(path + ".probe", description);
  return path;
}

// Adds fake media named by `names` (their names steer the fake encoder) to
// the list through AddFileEntry; the output goes to a fresh folder.
struct Batch {
  Batch(const std::string& tag, const std::vector<std::string>& names,
        const std::string& programName = "popclipmill")
      : f(tag, programName) {
    media = pcmtest::MakeTempDir(tag + "-media");
    out = pcmtest::MakeTempDir(tag + "-out");
    f.app->settings.outputField = out;
    for (const auto& n : names) {
      std::string p = FakeMedia(media, n);
      EXPECT_TRUE(f.app->listCommands.AddFileEntry(p)) << n;
    }
  }
  pcm::CoreApp& app() { return *f.app; }
  bool WaitIdle() {
    return pcmtest::WaitUntil([&] { return !app().run.converting && !app().engine.Running(); }, 60000);
  }
  // Waits until the fake encoder waits on `name`, then lets it go on.
  bool WaitStarted(const std::string& name) {
    return pcmtest::WaitUntil(
        [&] {
          auto calls = f.Calls();
          return !calls.empty() && calls.back() == media + "/" + name && app().engine.Running();
        },
        60000);
  }
  void Release(const std::string& name) { queuetest::WriteFile(media + "/" + name + ".go", "go"); }
  std::string Status(int i) { return StatusText(app().list.Row(i)); }

  FakeApp f;
  std::string media;
  std::string out;
};

}  // namespace queuetest
