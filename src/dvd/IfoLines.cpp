#include "dvd/IfoLines.h"

#include <charconv>
#include <cstdint>

namespace pcm::ifo {

namespace {

// More than any DVD holds; a message beyond them is not ours.
constexpr size_t kMaxTitles = 4096;
constexpr size_t kMaxChapters = 4096;
constexpr size_t kMaxStreams = 64;

std::string Pair(const char* key, int64_t value) {
  return std::string(" ") + key + "=" + std::to_string(value);
}

std::string Pair(const char* key, const std::string& value) {
  return value.empty() ? std::string() : std::string(" ") + key + "=" + value;
}

std::string StreamLine(const char* kind, const StreamInfo& s) {
  std::string line = kind + Pair("number", s.number) + Pair("id", s.id) + Pair("language", s.language) +
                     Pair("coding", s.coding);
  if (s.channels > 0) line += Pair("channels", s.channels);
  return line + "\n";
}

// The words of the video description, which the reader makes of four:
// coding, size, TV system and shape.
std::string VideoWords(const std::string& description) {
  std::string words[4];
  size_t at = 0;
  for (std::string& w : words) {
    size_t end = description.find(' ', at);
    w = description.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return Pair("coding", words[0]) + Pair("system", words[2]) + Pair("aspect", words[3]);
}

bool Number(std::string_view text, int64_t low, int64_t high, int64_t* value) {
  int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
  *value = v;
  return true;
}

// One line's key=value words, read one at a time.
class Words {
 public:
  explicit Words(std::string_view rest) : rest_(rest) {}
  bool Next(std::string_view* key, std::string_view* value) {
    while (!rest_.empty()) {
      size_t sp = rest_.find(' ');
      std::string_view word = rest_.substr(0, sp);
      rest_ = sp == std::string_view::npos ? std::string_view() : rest_.substr(sp + 1);
      size_t eq = word.find('=');
      if (eq == std::string_view::npos) continue;
      *key = word.substr(0, eq);
      *value = word.substr(eq + 1);
      return true;
    }
    return false;
  }

 private:
  std::string_view rest_;
};

bool ReadStream(std::string_view rest, bool subpicture, StreamInfo* s) {
  Words words(rest);
  std::string_view key, value;
  int64_t n = 0;
  while (words.Next(&key, &value)) {
    if (key == "number") {
      if (!Number(value, 1, 99, &n)) return false;
      s->number = int(n);
    } else if (key == "id") {
      if (!Number(value, 0, 255, &n)) return false;
      s->id = int(n);
    } else if (key == "channels") {
      if (!Number(value, 0, 16, &n)) return false;
      s->channels = int(n);
    } else if (key == "language") {
      s->language = std::string(value);
    } else if (key == "coding") {
      s->coding = std::string(value);
    }
  }
  if (subpicture && s->coding.empty()) s->coding = "Subtitle";
  s->description = DescribeStream(*s);
  return s->number > 0;
}

}  // namespace

std::string IfoLines(const IfoFile& file) {
  std::string text = "ifo" + Pair("set", file.titleSet) + Pair("width", file.width) +
                     Pair("height", file.height) + VideoWords(file.videoDescription) + "\n";
  for (const StreamInfo& s : file.audio) text += StreamLine("audio", s);
  for (const StreamInfo& s : file.subpictures) text += StreamLine("subpicture", s);
  for (const TitleInfo& t : file.titles) {
    text += "title" + Pair("chain", t.programChain) + Pair("ms", t.milliseconds) + Pair("hours", t.hours) +
            Pair("minutes", t.minutes) + Pair("seconds", t.seconds) + Pair("first_sector", t.firstSector) +
            Pair("last_sector", t.lastSector) + "\n";
    for (const ChapterInfo& c : t.chapters)
      text += "chapter" + Pair("program", c.program) + Pair("first_cell", c.firstCell) +
              Pair("last_cell", c.lastCell) + Pair("first_sector", c.firstSector) +
              Pair("last_sector", c.lastSector) + Pair("ms", c.milliseconds) + "\n";
    for (const StreamInfo& s : t.audio) text += StreamLine("audio", s);
    for (const StreamInfo& s : t.subpictures) text += StreamLine("subpicture", s);
  }
  for (int chain : file.damagedChains) text += "damaged" + Pair("chain", chain) + "\n";
  return text + "end\n";
}

std::unique_ptr<IfoFile> ParseIfoLines(std::string_view text) {
  auto file = std::make_unique<IfoFile>();
  bool head = false;
  std::string coding, system, aspect;
  constexpr int64_t kSectors = 0xffffff;
  constexpr int64_t kLongest = int64_t(1000) * 3600 * 1000;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) return nullptr;  // a line cut short
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    size_t blank = line.find(' ');
    std::string_view kind = line.substr(0, blank);
    std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    if (kind == "end") {
      if (!head) return nullptr;
      if (!coding.empty() && file->width > 0)
        file->videoDescription = coding + " " + std::to_string(file->width) + "x" +
                                 std::to_string(file->height) + " " + system + " " + aspect;
      return file;
    }
    Words words(rest);
    std::string_view key, value;
    int64_t n = 0;
    if (kind == "ifo") {
      head = true;
      while (words.Next(&key, &value)) {
        if (key == "set") {
          if (!Number(value, 0, 99, &n)) return nullptr;
          file->titleSet = int(n);
        } else if (key == "width" || key == "height") {
          if (!Number(value, 0, 4096, &n)) return nullptr;
          (key == "width" ? file->width : file->height) = int(n);
        } else if (key == "coding") {
          coding = value;
        } else if (key == "system") {
          system = value;
        } else if (key == "aspect") {
          aspect = value;
        }
      }
    } else if (!head) {
      return nullptr;
    } else if (kind == "audio" || kind == "subpicture") {
      const bool subpicture = kind == "subpicture";
      TitleInfo* title = file->titles.empty() ? nullptr : &file->titles.back();
      std::vector<StreamInfo>& list = subpicture ? (title ? title->subpictures : file->subpictures)
                                                 : (title ? title->audio : file->audio);
      if (list.size() >= kMaxStreams) return nullptr;
      StreamInfo s;
      if (!ReadStream(rest, subpicture, &s)) return nullptr;
      list.push_back(std::move(s));
    } else if (kind == "title") {
      if (file->titles.size() >= kMaxTitles) return nullptr;
      TitleInfo t;
      t.titleSet = file->titleSet;
      while (words.Next(&key, &value)) {
        if (key == "chain") {
          if (!Number(value, 1, 65535, &n)) return nullptr;
          t.programChain = int(n);
        } else if (key == "ms") {
          if (!Number(value, 0, kLongest, &n)) return nullptr;
          t.milliseconds = n;
        } else if (key == "hours" || key == "minutes" || key == "seconds") {
          if (!Number(value, 0, 99, &n)) return nullptr;
          (key == "hours" ? t.hours : key == "minutes" ? t.minutes : t.seconds) = int(n);
        } else if (key == "first_sector" || key == "last_sector") {
          if (!Number(value, 0, kSectors, &n)) return nullptr;
          (key == "first_sector" ? t.firstSector : t.lastSector) = uint32_t(n);
        }
      }
      file->titles.push_back(std::move(t));
    } else if (kind == "chapter") {
      if (file->titles.empty() || file->titles.back().chapters.size() >= kMaxChapters) return nullptr;
      ChapterInfo c;
      while (words.Next(&key, &value)) {
        if (key == "program" || key == "first_cell" || key == "last_cell") {
          if (!Number(value, 0, 65535, &n)) return nullptr;
          (key == "program" ? c.program : key == "first_cell" ? c.firstCell : c.lastCell) = int(n);
        } else if (key == "first_sector" || key == "last_sector") {
          if (!Number(value, 0, kSectors, &n)) return nullptr;
          (key == "first_sector" ? c.firstSector : c.lastSector) = uint32_t(n);
        } else if (key == "ms") {
          if (!Number(value, 0, kLongest, &n)) return nullptr;
          c.milliseconds = n;
        }
      }
      file->titles.back().chapters.push_back(c);
    } else if (kind == "damaged") {
      if (file->damagedChains.size() >= kMaxTitles) return nullptr;
      while (words.Next(&key, &value))
        if (key == "chain") {
          if (!Number(value, 1, 65535, &n)) return nullptr;
          file->damagedChains.push_back(int(n));
        }
    }
  }
  return nullptr;  // no end line
}

}  // namespace pcm::ifo
