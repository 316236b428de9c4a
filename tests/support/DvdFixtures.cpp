#include "support/DvdFixtures.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "support/Fixtures.h"

namespace fs = std::filesystem;

namespace pcmtest {

namespace {

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return bool(out);
}

// An MPEG-2 program stream for DVD: PAL test picture and one AC-3 or MPEG
// audio stream per tone. A fixed rate (with stuffing) keeps the size of each
// second predictable.
bool MakeDvdVideo(const std::string& out, double seconds, const std::vector<int>& tones, bool mpegAudio,
                  int kbps) {
  std::string secs = std::to_string(seconds);
  std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=" + secs;
  for (int tone : tones)
    cmd += " -f lavfi -i sine=frequency=" + std::to_string(tone) + ":sample_rate=48000:duration=" + secs;
  cmd += " -map 0:v";
  for (size_t i = 0; i < tones.size(); ++i) cmd += " -map " + std::to_string(i + 1) + ":a";
  std::string rate = std::to_string(kbps) + "k";
  cmd += " -c:v mpeg2video -g 5 -b:v " + rate + " -minrate " + rate + " -maxrate " + rate + " -bufsize 1835k";
  cmd += mpegAudio ? " -c:a mp2" : " -c:a ac3";
  cmd += " -b:a 128k -ac 2 -f dvd " + ShellQuote(out) + " 2>&1";
  return RunShell(cmd) == 0 && fs::exists(out);
}

// Runs dvdauthor on an XML text in `dir`; returns the disc folder or "".
std::string Author(const std::string& dir, const std::string& xml) {
  std::string xmlPath = dir + "/dvd.xml";
  if (!WriteText(xmlPath, xml)) return "";
  std::string log;
  int rc = RunShell("cd " + ShellQuote(dir) + " && VIDEO_FORMAT=PAL dvdauthor -x dvd.xml 2>&1", &log);
  if (rc != 0 || !fs::exists(dir + "/disc/VIDEO_TS/VIDEO_TS.IFO")) return "";
  return dir + "/disc";
}

std::string Build() {
  std::string dir = MakeTempDir("dvd");
  // A white bar shown as subtitle twice, away from the middle chapter.
  std::string spu =
      "<subpictures><stream>\n"
      "<spu start=\"00:00:00.50\" end=\"00:00:02.00\" image=\"sub.png\" xoffset=\"100\" yoffset=\"400\"/>\n"
      "<spu start=\"00:00:06.50\" end=\"00:00:08.00\" image=\"sub.png\" xoffset=\"100\" yoffset=\"400\"/>\n"
      "</stream></subpictures>\n";
  if (!MakeDvdVideo(dir + "/main.mpg", kMainTitleSeconds, {440, 880}, false, 7000) ||
      !MakeDvdVideo(dir + "/short.mpg", kShortTitleSeconds, {440, 880}, false, 1500) ||
      !MakeDvdVideo(dir + "/set2.mpg", kSecondSetSeconds, {660}, true, 7000) ||
      !WriteText(dir + "/sub.xml", spu))
    return "";
  std::string q = ShellQuote(dir);
  if (RunShell("cd " + q +
               " && ffmpeg -nostdin -v error -y -f lavfi -i color=c=white:s=160x32 -frames:v 1 sub.png " +
               "&& spumux -s 0 sub.xml < main.mpg > mainsub.mpg 2>/dev/null") != 0)
    return "";
  return Author(dir,
                "<dvdauthor dest=\"disc\">\n <vmgm />\n"
                " <titleset><titles>\n  <video format=\"pal\" />\n"
                "  <audio lang=\"en\" /><audio lang=\"de\" />\n  <subpicture lang=\"en\" />\n"
                "  <pgc><vob file=\"mainsub.mpg\" chapters=\"0,3,6\" /></pgc>\n"
                "  <pgc><vob file=\"short.mpg\" /></pgc>\n"
                " </titles></titleset>\n"
                " <titleset><titles>\n  <video format=\"pal\" />\n  <audio lang=\"fr\" />\n"
                "  <pgc><vob file=\"set2.mpg\"><cell start=\"0\" end=\"2\" chapter=\"1\"/>"
                "<cell start=\"2\" end=\"3\"/><cell start=\"3\" chapter=\"1\"/></vob></pgc>\n"
                " </titles></titleset>\n</dvdauthor>\n");
}

}  // namespace

std::string StandardDvd() {
  static const std::string disc = Build();
  return disc;
}

std::string DvdWithTitles(int titles) {
  static std::map<int, std::string> cache;
  if (auto it = cache.find(titles); it != cache.end()) return it->second;
  std::string dir = MakeTempDir("dvd-titles");
  std::string result;
  if (titles >= 1 && titles <= 99 && MakeDvdVideo(dir + "/one.mpg", 1, {440}, false, 1500)) {
    std::string xml =
        "<dvdauthor dest=\"disc\">\n <vmgm />\n <titleset><titles>\n  <video format=\"pal\" />\n";
    for (int i = 0; i < titles; ++i) xml += "  <pgc><vob file=\"one.mpg\" /></pgc>\n";
    result = Author(dir, xml + " </titles></titleset>\n</dvdauthor>\n");
  }
  cache[titles] = result;
  return result;
}

std::string CopyVideoTs(const std::string& parentName, bool lowerCase) {
  std::string disc = StandardDvd();
  if (disc.empty()) return "";
  std::string parent = MakeTempDir("copy") + "/" + parentName;
  std::string target = parent + (lowerCase ? "/video_ts" : "/VIDEO_TS");
  fs::create_directories(target);
  for (const auto& entry : fs::directory_iterator(disc + "/VIDEO_TS")) {
    std::string name = entry.path().filename().string();
    if (lowerCase)
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    fs::copy_file(entry.path(), target + "/" + name);
  }
  return target;
}

std::string DamagedVideoTs(DvdDamage damage) {
  std::string dir = CopyVideoTs("damaged");
  if (dir.empty()) return "";
  std::string ifo = dir + "/VTS_01_0.IFO", bup = dir + "/VTS_01_0.BUP";
  if (damage == DvdDamage::Garbage) {
    FillWithGarbage(ifo, 1);
    FillWithGarbage(bup, 2);
  } else {
    TruncateFile(ifo, 1000);
    if (damage == DvdDamage::CutIfoWithoutBackup) fs::remove(bup);
  }
  return dir;
}

double CrossingsPerSecond(const std::string& file, double from) {
  std::string raw = MakeTempDir("crossings") + "/a.raw";
  RunShell("ffmpeg -nostdin -v error -y -ss " + std::to_string(from) + " -i " + ShellQuote(file) +
           " -t 1 -map 0:a:0 -ac 1 -ar 48000 -f s16le " + ShellQuote(raw));
  return RawCrossingsPerSecond(raw, 48000);
}

void TruncateFile(const std::string& path, long size) { fs::resize_file(path, size); }

void FillWithGarbage(const std::string& path, unsigned seed) {
  auto size = fs::file_size(path);
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = char(random());
  WriteText(path, bytes);
}

void BreakFirstChain(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), {});
  uint32_t table = 0, chain = 0;  // big-endian: the chain table's sector, the first chain's offset in it
  for (int i = 0; i < 4; ++i) table = table << 8 | uint8_t(b.at(0xcc + i));
  for (int i = 0; i < 4; ++i) chain = chain << 8 | uint8_t(b.at(size_t(table) * 2048 + 12 + i));
  b.at(size_t(table) * 2048 + chain + 3) = 0;  // its count of cells
  WriteText(path, b);
}

}  // namespace pcmtest
