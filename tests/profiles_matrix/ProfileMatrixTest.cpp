// Every named profile, converted for real: register.dat over ffmpeg turns a
// 2-second clip into the profile's file with its default choices, with the
// highest quality and first size, and with the lowest quality and last size.
// The output is read back with ffprobe.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/Application.h"
#include "profiles/Catalog.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

// ffprobe's format name for each extension. The MP4 family shares one name
// and is told apart by its brand below.
std::string FormatOfExtension(const std::string& ext) {
  static const std::map<std::string, std::string> formats = {
      {".asf", "asf"},  {".wmv", "asf"},   {".wma", "asf"},
      {".avi", "avi"},  {".rm", "rm"},     {".ra", "rm"},
      {".flv", "flv"},  {".swf", "swf"},   {".aac", "aac"},
      {".ac3", "ac3"},  {".mp3", "mp3"},   {".mp2", "mp3"},
      {".ogg", "ogg"},  {".wav", "wav"},   {".aiff", "aiff"},
      {".au", "au"},    {".mpeg", "mpeg"}, {".mpg", "mpeg"},
      {".vob", "mpeg"}, {".ts", "mpegts"}, {".mkv", "matroska,webm"},
      {".amr", "amr"}};
  auto it = formats.find(ext);
  return it == formats.end() ? "mov,mp4,m4a,3gp,3g2,mj2" : it->second;
}

std::string BrandOfExtension(const std::string& ext) {
  if (ext == ".mov") return "qt";
  if (ext == ".3gp") return "3gp";
  if (ext == ".3g2") return "3g2";
  if (ext == ".m4a") return "M4A";
  if (ext == ".mp4" || ext == ".MP4") return "isom";
  return "";
}

std::string Probe(const std::string& path, const std::string& entries) {
  std::string out;
  pcmtest::RunShell("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " + pcmtest::ShellQuote(path),
                    &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The end of the last packet: SWF files carry no duration of their own.
double PacketEnd(const std::string& path) {
  std::istringstream lines(Probe(path, "packet=pts_time,duration_time"));
  double end = 0;
  for (std::string line; std::getline(lines, line);) {
    double pts = 0, dur = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &dur) >= 1) end = std::max(end, pts + dur);
  }
  return end;
}

struct Variant {
  const char* name;
  int quality;  // -1: keep the restored choices
  bool firstSize;
};

const Variant kVariants[] = {{"default", -1, true}, {"high-first", 0, true}, {"low-last", 4, false}};

class ProfileMatrix : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    // Choices files go to a directory of this run, never the user's.
    qputenv("POPCLIPMILL_CONFIG_DIR", QByteArray::fromStdString(pcmtest::MakeTempDir("matrix-config") + "/"));
  }
};

// Converts one variant; returns "" on success, else what was wrong.
std::string ConvertAndCheck(CoreApp& app, int n, const Variant& v, const std::string& clip,
                            const std::string& outDir, std::string* command) {
  ProfileState& p = app.profiles;
  if (v.quality >= 0) {
    if (p.cb_videobitrate.enabled) p.SetSelected(p.cb_videobitrate, v.quality);
    if (p.cb_audiobitrate.enabled) p.SetSelected(p.cb_audiobitrate, v.quality);
    if (p.cb_size.enabled) {
      int last = int(p.cb_size.items.size()) - 1;
      p.SetSelected(p.cb_size, v.firstSize ? 0 : last);
    }
  }

  ListRow row;
  row.caption = std::string("p") + std::to_string(n) + "-" + v.name + ".avi";
  row.filePath = clip;
  row.entry.sourcePath = clip;
  row.entry.duration = "00:00:02";
  row.entry.videoKbps = 400;
  app.settings.outputField = outDir;

  intputrec rec = app.engine.record;
  rec.InputFile = clip;
  rec.OutputFile = app.options.OutputFilePath(row);
  app.options.FillProfileOptions(rec, row);
  rec.DurationSecs = 2;
  rec.StartOpt = pcm::OptionField({"-ss", "00:00:00"});
  rec.LengthOpt = pcm::OptionField({"-t", "00:00:02"});
  *command = BuildCommandLine(rec);

  bool ended = false;
  JobOutcome outcome;
  app.engine.entryEndedHook = [&](EncoderJob& job) {
    ended = true;
    outcome = job.outcome;
  };
  app.engine.StartEncoderJob(rec);
  if (!pcmtest::WaitUntil([&] { return ended; }, 120000)) return "no end within 2 minutes";
  app.engine.entryEndedHook = nullptr;

  std::ostringstream why;
  if (!outcome.Succeeded()) {
    why << "encoder exit " << outcome.exitCode << ";";
    for (const std::string& line : outcome.lastLines) why << " " << line;
    return why.str();
  }

  const std::string ext = p.OutputExtension();
  const pcmtest::ProbeInfo info = pcmtest::FfprobeFile(rec.OutputFile);
  if (!info.ok) return "ffprobe cannot read " + rec.OutputFile;
  if (info.formatName != FormatOfExtension(ext)) why << " format " << info.formatName << ";";
  const std::string brand = BrandOfExtension(ext);
  if (!brand.empty() && Probe(rec.OutputFile, "format_tags=major_brand").rfind(brand, 0) != 0)
    why << " brand " << Probe(rec.OutputFile, "format_tags=major_brand") << ";";
  if (info.audioStreams != 1) why << " " << info.audioStreams << " audio streams;";
  const bool audioOnly = ProfileInfo(n)->media == Media::Audio;
  if (audioOnly) {
    if (info.videoStreams != 0) why << " video in an audio profile;";
  } else {
    // The frame size asked for: the selected size, the source's for the
    // source entry, the disc standard's for the disc presets.
    std::string size = rec.SizeOpt.ValueOf("-s");
    // A picture fitted with bars has the frame it is padded to.
    const std::string filter = rec.SizeOpt.ValueOf("-vf");
    if (size_t pad = filter.find(",pad="); pad != std::string::npos) {
      size = filter.substr(pad + 5);
      size = size.substr(0, size.find(':', size.find(':') + 1));
      size[size.find(':')] = 'x';
    }
    if (IsDiscProfile(n)) {
      static const std::map<std::string, std::string> disc = {
          {"pal-vcd", "352x288"},   {"ntsc-vcd", "352x240"}, {"pal-svcd", "480x576"},
          {"ntsc-svcd", "480x480"}, {"pal-dvd", "720x576"},  {"ntsc-dvd", "720x480"}};
      const std::string target = rec.TargetOpt.ValueOf("-target");
      size = disc.count(target) ? disc.at(target) : "?";
    }
    const std::string got = std::to_string(info.width) + "x" + std::to_string(info.height);
    if (info.videoStreams != 1)
      why << " " << info.videoStreams << " video streams;";
    else if (got != size)
      why << " frame " << got << " not " << size << ";";
  }
  double duration = info.duration > 0 ? info.duration : PacketEnd(rec.OutputFile);
  if (std::fabs(duration - 2.0) > 0.5) why << " duration " << duration << ";";
  return why.str();
}

TEST_P(ProfileMatrix, ConvertsTheClip) {
  const int n = GetParam();
  const std::string program = pcmtest::MakeProgramDir("matrix-" + std::to_string(n));
  const std::string clip = pcmtest::MakeMedia("avi", 2);
  const std::string outDir = pcmtest::MakeTempDir("matrix-out-" + std::to_string(n));
  CoreApp app({program});
  app.run.converting = true;  // so the job's end step reaches the hook
  app.profiles.SelectProfile(n);
  ASSERT_EQ(app.profiles.OutputExtension(), ExtensionOfName(ProfileInfo(n)->displayName));

  std::ostringstream matrix;
  for (const Variant& v : kVariants) {
    std::string command;
    const std::string problem = ConvertAndCheck(app, n, v, clip, outDir, &command);
    EXPECT_EQ(problem, "") << "profile " << n << " " << v.name << ": " << command;
    matrix << "MATRIX " << n << " " << v.name << " " << (problem.empty() ? "pass" : "FAIL") << " |"
           << command.substr(command.find(" -y ")) << "\n";
  }
  std::printf("%s", matrix.str().c_str());
  std::fflush(stdout);
}

std::vector<int> NamedProfiles() {
  std::vector<int> numbers;
  for (int n = 1; n <= kProfileCount; ++n)
    if (ProfileInfo(n)->displayName) numbers.push_back(n);
  return numbers;
}

INSTANTIATE_TEST_SUITE_P(All, ProfileMatrix, ::testing::ValuesIn(NamedProfiles()),
                         [](const ::testing::TestParamInfo<int>& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "P%03d", info.param);
                           return std::string(name);
                         });

TEST(ProfileMatrixSetup, OneHundredTwentyNamedProfiles) { EXPECT_EQ(NamedProfiles().size(), 120u); }

// The shipped data offers enough sizes that a profile seen for the first
// time starts on a real size, and audio profiles get no size at all.
TEST(ProfileMatrixSetup, FirstSelectionLandsOnARealSize) {
  qputenv("POPCLIPMILL_CONFIG_DIR", QByteArray::fromStdString(pcmtest::MakeTempDir("matrix-defaults") + "/"));
  for (const char* name : {"popclipmill", "popclipmill-dvd"}) {
    CoreApp app({pcmtest::MakeProgramDir(std::string("defaults-") + name, "", name)});
    for (int n : NamedProfiles()) {
      app.profiles.SelectProfile(n);
      const ChoiceList& size = app.profiles.cb_size;
      if (ProfileInfo(n)->media == Media::Audio) {
        EXPECT_FALSE(size.enabled) << name << " " << n;
        EXPECT_EQ(app.profiles.RateStep(0), "*") << name << " " << n;
        continue;
      }
      EXPECT_TRUE(size.enabled) << name << " " << n;
      ASSERT_TRUE(size.HasSelection()) << name << " " << n;
      if (!IsDiscProfile(n)) {
        // Five whole rates, rising from the lowest quality step.
        for (int i = 0; i < 4; ++i)
          EXPECT_GT(std::stoi(app.profiles.RateStep(i)), std::stoi(app.profiles.RateStep(i + 1))) << n;
        EXPECT_EQ(app.profiles.ProfileOptions().Text().rfind(" -", 0), 0u) << n;
      }
    }
  }
}

}  // namespace
