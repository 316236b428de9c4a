// DVD rows through the adapter: the input form, the real reading of the
// sectors with libdvdread and the real ffmpeg on discs made at test time.
#include <gtest/gtest.h>

#include <QProcess>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "AdapterHarness.h"
#include "engine/DvdInputForm.h"
#include "dvd/IfoReader.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcm::DvdInputForm;
using pcmtest::ShellQuote;

namespace {

std::vector<std::string> ValuesOf(const std::vector<std::string>& args, const std::string& option) {
  std::vector<std::string> values;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == option) values.push_back(args[i + 1]);
  return values;
}

std::vector<double> Times(const std::string& out) {
  std::vector<double> times;
  for (size_t p = out.find("time="); p != std::string::npos; p = out.find("time=", p + 1)) {
    std::string value = out.substr(p + 5, out.find_first_of(" \r\n", p) - p - 5);
    EXPECT_EQ(value.find(':'), std::string::npos) << value;
    times.push_back(std::atof(value.c_str()));
  }
  return times;
}

// A form for a title of the given title set of a disc (the folder holding
// VIDEO_TS), the whole title or one chapter (1-based), from the IFO reader's
// records as the program's DVD rows get them.
DvdInputForm Row(const std::string& videoTs, int titleSet, int title, int chapter = 0) {
  char name[16];
  std::snprintf(name, sizeof name, "/VTS_%02d_0.IFO", titleSet);
  DvdInputForm form;
  auto file = pcm::ifo::ReadIfoFileInProcess(videoTs + name);
  if (!file) {
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    file = pcm::ifo::ReadIfoFileInProcess(videoTs + lower);
  }
  if (!file || title > int(file->titles.size())) return form;
  const auto& t = file->titles[title - 1];
  form.folder = file->folder;
  form.titleSet = titleSet;
  form.programChain = t.programChain;
  if (chapter > 0)
    form.sectors = {{t.chapters[chapter - 1].firstSector, t.chapters[chapter - 1].lastSector}};
  else
    form.sectors = {{t.firstSector, t.lastSector}};
  form.audioId = t.audio.empty() ? 0 : t.audio[0].id;
  return form;
}

std::string VideoTs() {
  std::string disc = pcmtest::StandardDvd();
  return disc.empty() ? "" : disc + "/VIDEO_TS";
}

// The darkest grey level in the area where the test disc's subtitle is shown
// (a white bar), in a frame at the given time of a 720x576 output.
int DarkestInSubtitleArea(const std::string& file, double at) {
  std::string grey;
  pcmtest::RunShell("ffmpeg -nostdin -v error -ss " + std::to_string(at) + " -i " + ShellQuote(file) +
                        " -frames:v 1 -vf crop=120:20:120:406,format=gray -f rawvideo - | od -An -tu1 -v",
                    &grey);
  std::istringstream in(grey);
  int v, darkest = 256;
  while (in >> v) darkest = std::min(darkest, v);
  return darkest;
}

}  // namespace

TEST(DvdInputForm, AnyFolderRoundTripsAndBadFormsAreRefused) {
  DvdInputForm form;
  form.titleSet = 99;
  form.programChain = 12;
  form.sectors = {{0, 0}, {70000, 16777214}, {5, 9}};
  form.audioId = 0xc7;
  form.subtitleId = 0x3f;
  form.trimBegin = 0.1;
  form.trimEnd = 5.0000001;
  for (const std::string& folder : std::vector<std::string>{
           "/a b/\"q\" 'x'/video_ts", "rel/-i", "/new\nline/\r\t", "/\xff\xfe\x80 not utf-8",
           "/%41%/&titleset=2&end=1/=", "-i", std::string("/nul\0byte", 9), "/ü/ß/€"}) {
    form.folder = folder;
    std::string text = pcm::EncodeDvdInput(form);
    EXPECT_TRUE(pcm::IsDvdInput(text));
    // Nothing the command line, a shell or a path could take for its own.
    EXPECT_EQ(text.find_first_of(" \"'\n\r\t\\&", 7), text.find('&')) << text;
    for (unsigned char c : text) EXPECT_TRUE(c > 0x20 && c < 0x7f) << text;
    DvdInputForm back;
    std::string error;
    ASSERT_TRUE(pcm::DecodeDvdInput(text, &back, &error)) << error;
    EXPECT_EQ(back, form);
  }

  form.folder = "/dvd";
  const std::string good = pcm::EncodeDvdInput(form);
  auto refused = [](const std::string& text) {
    DvdInputForm f;
    std::string error;
    bool ok = pcm::DecodeDvdInput(text, &f, &error);
    EXPECT_FALSE(ok) << text;
    EXPECT_FALSE(error.empty());
    return !ok;
  };
  auto with = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? t : t.replace(at, from.size(), to);
  };
  refused("/dvd/VTS_01_1.VOB");
  refused("pcmdvd:");
  refused(good + "&audio=0x80");                  // twice
  refused(good + "&speed=2");                     // unknown
  refused(with("folder=/dvd", "folder=/dvd%4"));  // cut escape
  refused(with("folder=/dvd", "folder=/d vd"));   // raw blank
  refused(with("&titleset=99", ""));              // missing
  refused(with("titleset=99", "titleset=100"));
  refused(with("titleset=99", "titleset=-1"));
  refused(with("sectors=0-0", "sectors=9-3"));
  refused(with("sectors=0-0,", "sectors=0-0,,"));
  refused(with("70000-16777214", "70000-16777215"));  // placeholder address
  refused(with("audio=0xc7", "audio=0x20"));
  refused(with("audio=0xc7", "audio=199"));
  refused(with("subtitle=0x3f", "subtitle=0x80"));
  refused(with("begin=0.1", "begin=-1"));
  refused(with("begin=0.1", "begin=nan"));
  refused(with("end=5.0000001", "end=0.05"));  // before the begin
}

TEST(DvdInput, EveryCatalogProfileGetsExactlyTheRowsStreams) {
  std::string videoTs = VideoTs();
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm form = Row(videoTs, 1, 1);
  form.audioId = 0x81;
  form.subtitleId = 0x20;
  form.trimBegin = 1.5;
  std::ifstream catalog(std::string(POPCLIPMILL_SOURCE_DIR) + "/data/profiles.pop");
  std::set<std::string> lines;
  std::string line;
  for (int n = 0; std::getline(catalog, line); ++n)
    if (n % 4 == 3) lines.insert(line);
  ASSERT_GT(lines.size(), 10u);
  for (const std::string& options : lines) {
    SCOPED_TRACE(options);
    // As the program builds a job: a start option before the input, which
    // cannot seek in a pipe and moves to the output side.
    AdapterRun r = RunAdapter("-ss 00:00:01 -y -i " + ShellQuote(pcm::EncodeDvdInput(form)) +
                                  " -b 800k -ab 128k -s 320x240 " + options + " out.bin",
                              EchoFfmpeg());
    EXPECT_EQ(r.code, 0) << r.out;  // the echo ends without reading: a quiet end
    std::vector<std::string> args = EchoedArgs(r.out);
    bool video = options.find("-vn") == std::string::npos;
    // The title's subtitle colours from its IFO (white first, then black)
    // for the picture the subtitle is burned into.
    std::string palette = "ffffff";
    for (int i = 1; i < 16; ++i) palette += ",000000";
    std::vector<std::string> head{"-nostdin", "-y", "-palette", palette, "-f", "mpeg", "-i", "pipe:0"};
    if (!video) head.erase(head.begin() + 2, head.begin() + 4);
    ASSERT_GE(args.size(), head.size()) << r.out;
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + head.size()), head);
    std::vector<std::string> maps = ValuesOf(args, "-map");
    if (video) {
      EXPECT_EQ(maps, (std::vector<std::string>{"[v]", "0:i:0x81"}));
      EXPECT_EQ(ValuesOf(args, "-filter_complex"),
                std::vector<std::string>{"[0:i:0x1e0][0:i:0x20]overlay[v]"});
    } else {
      EXPECT_EQ(maps, std::vector<std::string>{"0:i:0x81"});
      EXPECT_TRUE(ValuesOf(args, "-filter_complex").empty());
    }
    // The row's begin is the last word on where to start.
    EXPECT_EQ(ValuesOf(args, "-ss"), (std::vector<std::string>{"00:00:01", "1.500"}));
    EXPECT_EQ(args.back(), "file:out.bin");
  }

  // A picture filter of the job joins the burning in; without a subtitle it stays as it is.
  std::string options = " -vf hflip -vcodec mpeg4 out.bin";
  std::vector<std::string> args =
      EchoedArgs(RunAdapter("-i " + ShellQuote(pcm::EncodeDvdInput(form)) + options, EchoFfmpeg()).out);
  EXPECT_TRUE(ValuesOf(args, "-vf").empty());
  EXPECT_EQ(ValuesOf(args, "-filter_complex"),
            std::vector<std::string>{"[0:i:0x1e0][0:i:0x20]overlay,hflip[v]"});
  form.subtitleId = 0;
  args = EchoedArgs(RunAdapter("-i " + ShellQuote(pcm::EncodeDvdInput(form)) + options, EchoFfmpeg()).out);
  EXPECT_EQ(ValuesOf(args, "-vf"), std::vector<std::string>{"hflip"});
  EXPECT_EQ(ValuesOf(args, "-map"), (std::vector<std::string>{"0:i:0x1e0", "0:i:0x81"}));
}

TEST(DvdInput, WholeTitleWithTheSecondAudioStreamAndSubtitles) {
  std::string videoTs = VideoTs();
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm form = Row(videoTs, 1, 1);
  form.audioId = 0x81;  // 880 Hz; the first stream is 440 Hz
  form.subtitleId = 0x20;
  std::string out = pcmtest::MakeTempDir("dvd-title") + "/title.mp4";
  AdapterRun r = RunAdapter("-y -i " + ShellQuote(pcm::EncodeDvdInput(form)) +
                            " -map 0:V:0? -map 0:a:0? -vcodec mpeg4 -acodec aac -f mp4 " + ShellQuote(out));
  ASSERT_EQ(r.code, 0) << r.out;
  std::vector<double> times = Times(r.out);
  ASSERT_FALSE(times.empty()) << r.out;
  EXPECT_NEAR(times.back(), pcmtest::kMainTitleSeconds, 0.5);

  pcmtest::ProbeInfo info = pcmtest::FfprobeFile(out);
  ASSERT_TRUE(info.ok);
  EXPECT_NEAR(info.duration, pcmtest::kMainTitleSeconds, 0.5);
  EXPECT_EQ(info.width, 720);
  EXPECT_NEAR(pcmtest::CrossingsPerSecond(out, 2), 2 * 880, 80);
  // The subtitle bar is burned in while shown (0.5-2 s, 6.5-8 s) and only then.
  EXPECT_GE(DarkestInSubtitleArea(out, 1), 235);
  EXPECT_GE(DarkestInSubtitleArea(out, 7), 235);
  EXPECT_LT(DarkestInSubtitleArea(out, 4), 200);
}

TEST(DvdInput, ChapterWithoutSubtitlePacketsConvertsWithTheSubtitleChosen) {
  std::string videoTs = VideoTs();
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm form = Row(videoTs, 1, 1, 2);
  form.subtitleId = 0x20;
  std::string out = pcmtest::MakeTempDir("dvd-chapter") + "/chapter.avi";
  AdapterRun r = RunAdapter("-y -i " + ShellQuote(pcm::EncodeDvdInput(form)) +
                            " -s 320x240 -map 0:V:0? -map 0:a:0? -vcodec mpeg4 -acodec libmp3lame -f avi " +
                            ShellQuote(out));
  ASSERT_EQ(r.code, 0) << r.out;
  pcmtest::ProbeInfo info = pcmtest::FfprobeFile(out);
  ASSERT_TRUE(info.ok);
  EXPECT_EQ(info.audioStreams, 1);
  EXPECT_EQ(info.width, 320);  // the frame size applies to the burned-in picture too
  EXPECT_NEAR(info.duration, 3.2, 0.5);
  EXPECT_NEAR(pcmtest::CrossingsPerSecond(out, 1), 2 * 440, 80);
}

TEST(DvdInput, TrimmedTitleUnderAHostileFolderName) {
  std::string videoTs = pcmtest::CopyVideoTs("a \"b\" 'c' \xff\n&end=1 -i %20", true);
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm form = Row(videoTs, 1, 1);
  ASSERT_FALSE(form.sectors.empty());
  form.trimBegin = 2;
  form.trimEnd = 5;
  std::string out = pcmtest::MakeTempDir("dvd-trim") + "/trim.mp4";
  AdapterRun r =
      RunAdapter("-y -i " + ShellQuote(pcm::EncodeDvdInput(form)) +
                 " -s 320x240 -map 0:V:0? -map 0:a:0? -vcodec mpeg4 -acodec aac -f mp4 " + ShellQuote(out));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.find("register.dat:"), std::string::npos) << r.out;  // ffmpeg's early end is no error
  std::vector<double> times = Times(r.out);
  ASSERT_FALSE(times.empty());
  EXPECT_NEAR(times.back(), 3, 0.5);  // counted from the row's begin
  EXPECT_NEAR(pcmtest::FfprobeFile(out).duration, 3, 0.5);
  // Qt's clean-up of the temporary folder cannot name the non-UTF-8 folder.
  std::filesystem::remove_all(std::filesystem::path(videoTs).parent_path());
}

TEST(DvdInput, MpegAudioToAudioOnlyAndAmrProfiles) {
  std::string videoTs = VideoTs();
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm form = Row(videoTs, 2, 1, 2);  // MPEG audio 0xC0, chapter of 3.2 s
  ASSERT_EQ(form.audioId, 0xc0);
  std::string dir = pcmtest::MakeTempDir("dvd-audio");
  struct Case {
    std::string options, name;
    bool video;
  } cases[] = {{"-map 0:a:0? -vn -acodec libmp3lame -f mp3", "a.mp3", false},
               {"-map 0:a:0? -vn -ab 12200", "a.amr", false},
               {"-s 352x288 -target pal-vcd", "v.mpg", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    AdapterRun r = RunAdapter("-y -i " + ShellQuote(pcm::EncodeDvdInput(form)) + " " + c.options + " " +
                              ShellQuote(dir + "/" + c.name));
    ASSERT_EQ(r.code, 0) << r.out;
    pcmtest::ProbeInfo info = pcmtest::FfprobeFile(dir + "/" + c.name);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_EQ(info.videoStreams > 0, c.video);
    EXPECT_NEAR(info.duration, 3.2, 0.5);
  }
}

TEST(DvdInput, BadFormsAndMissingDiscsFailAtOnceWithoutFfmpeg) {
  std::string videoTs = VideoTs();
  ASSERT_FALSE(videoTs.empty());
  DvdInputForm good = Row(videoTs, 1, 1);
  DvdInputForm missing = good, noSet = good, beyond = good;
  missing.folder += "/gone";
  noSet.titleSet = 7;
  beyond.sectors.push_back({good.sectors[0].last + 1, good.sectors[0].last + 5000});
  const std::pair<std::string, std::string> cases[] = {
      {"pcmdvd:folder=/x&titleset=1", "bad DVD input"},
      {pcm::EncodeDvdInput(missing), "does not exist"},
      {pcm::EncodeDvdInput(noSet), "title set 7"},
      {pcm::EncodeDvdInput(beyond), "beyond"},
  };
  for (const auto& [input, why] : cases) {
    SCOPED_TRACE(input);
    AdapterRun r = RunAdapter("-y -i " + ShellQuote(input) + " -f mp4 out.mp4", EchoFfmpeg());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(EchoedArgs(r.out).empty()) << r.out;  // ffmpeg never ran
    EXPECT_EQ(r.out.rfind("register.dat: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(why), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
  // A cut IFO file: the subtitle colours come from its backup, and with
  // both unreadable the conversion runs on without them.
  for (auto damage : {pcmtest::DvdDamage::CutIfo, pcmtest::DvdDamage::Garbage}) {
    DvdInputForm damaged = good;
    damaged.folder = pcmtest::DamagedVideoTs(damage);
    damaged.subtitleId = 0x20;
    std::vector<std::string> args = EchoedArgs(
        RunAdapter("-y -i " + ShellQuote(pcm::EncodeDvdInput(damaged)) + " out.mp4", EchoFfmpeg()).out);
    ASSERT_FALSE(args.empty());
    std::vector<std::string> palette = ValuesOf(args, "-palette");
    EXPECT_EQ(palette.size(), damage == pcmtest::DvdDamage::CutIfo ? 1u : 0u);
    if (!palette.empty()) {
      EXPECT_EQ(palette[0].substr(0, 7), "ffffff,");
    }
  }

  // A form is never described as a media file.
  AdapterRun probe = RunAdapter("-i " + ShellQuote(pcm::EncodeDvdInput(good)), EchoFfmpeg());
  EXPECT_EQ(probe.code, 1);
  EXPECT_EQ(probe.out.find("Input #0"), std::string::npos);
}

namespace {

struct Running {
  QProcess process;
  pid_t adapter = -1;
  pid_t ffmpeg = -1;
};

// A DVD conversion read at the disc's own pace (-re): it runs for the
// title's nine seconds unless stopped.
void StartSlowConversion(Running& r, const std::string& out) {
  DvdInputForm form = Row(VideoTs(), 1, 1);
  form.subtitleId = 0x20;
  r.process.setProcessChannelMode(QProcess::MergedChannels);
  r.process.start(QString::fromStdString(Adapter()),
                  {"-re", "-y", "-i", QString::fromStdString(pcm::EncodeDvdInput(form)), "-vcodec", "mpeg4",
                   "-f", "mp4", QString::fromStdString(out)});
  ASSERT_TRUE(r.process.waitForStarted());
  r.adapter = static_cast<pid_t>(r.process.processId());
  r.ffmpeg = WaitForChild(r.adapter);
  ASSERT_GT(r.ffmpeg, 0);
  // The reader is a thread of the adapter, feeding ffmpeg by now.
  ASSERT_TRUE(pcmtest::WaitUntil(
      [&] {
        auto n =
            std::distance(std::filesystem::directory_iterator("/proc/" + std::to_string(r.adapter) + "/task"),
                          std::filesystem::directory_iterator());
        return n >= 2;
      },
      20000));
}

}  // namespace

TEST(DvdInput, StopOrKillDuringADvdRowLeavesNothingRunning) {
  ASSERT_FALSE(VideoTs().empty());
  std::string dir = pcmtest::MakeTempDir("dvd-stop");
  {
    Running r;
    StartSlowConversion(r, dir + "/term.mp4");
    kill(r.adapter, SIGTERM);
    ASSERT_TRUE(r.process.waitForFinished(20000));
    EXPECT_EQ(r.process.exitStatus(), QProcess::NormalExit);  // it stopped ffmpeg and its reader, then ended
    EXPECT_NE(r.process.exitCode(), 0);
    EXPECT_TRUE(Gone(r.ffmpeg));
  }
  {
    Running r;
    StartSlowConversion(r, dir + "/kill.mp4");
    kill(r.adapter, SIGKILL);
    EXPECT_TRUE(r.process.waitForFinished(20000));
    EXPECT_TRUE(WaitGone(r.ffmpeg));
    if (!Gone(r.ffmpeg)) kill(r.ffmpeg, SIGKILL);  // no orphan even when failing
  }
}
