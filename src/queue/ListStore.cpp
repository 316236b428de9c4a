#include "queue/ListStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/WholeNumber.h"
#include "base/WriteAll.h"
#include "engine/MediaLimits.h"
#include "profiles/Ini.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "queue/RowSource.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

// Format 2 added DVD rows, format 3 keeps the source facts as numbers with
// every stream; files of formats 1 and 2 are still read. An older program
// refuses a newer file and keeps it aside rather than misread it.
constexpr int kFormat = 3;
constexpr int kOldestFormat = 1;
// A program chain has at most 255 cells, so a title at most 255 ranges.
constexpr int kMaxSectorRanges = 255;

// Entry states by name, so the file does not depend on the enum's order.
constexpr struct {
  EntryState state;
  const char* name;
} kStateNames[] = {{EntryState::Blank, "blank"},           {EntryState::Waiting, "waiting"},
                   {EntryState::Converting, "converting"}, {EntryState::Finished, "finished"},
                   {EntryState::Failed, "failed"},         {EntryState::Stopped, "stopped"},
                   {EntryState::Playing, "playing"},       {EntryState::Paused, "paused"},
                   {EntryState::Ready, "ready"},           {EntryState::Skipped, "skipped"}};

// The DVD file records of one list, in the order the rows first name them.
using FileTable = std::vector<std::shared_ptr<const DvdFileRecord>>;

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

class Writer {
 public:
  explicit Writer(FileTable& files) : files_(files) {}
  QJsonObject object;

  // A text that is not UTF-8 (a file name is bytes) is also kept exactly,
  // percent-encoded under "<key>Bytes"; the plain field, with its bad bytes
  // replaced, stays for readers that know only it.
  void operator()(const char* key, const std::string& s) {
    QString text = Text(s);
    object[key] = text;
    if (text.toUtf8().toStdString() != s)
      object[QString(key) + "Bytes"] = QString::fromLatin1(QByteArray::fromStdString(s).toPercentEncoding());
  }
  void operator()(const char* key, bool b) { object[key] = b; }
  void operator()(const char* key, int32_t n) { object[key] = n; }
  void operator()(const char* key, uint32_t n) { object[key] = qint64(n); }
  void operator()(const char* key, EntryState s) {
    for (const auto& n : kStateNames)
      if (n.state == s) object[key] = n.name;
  }
  void operator()(const char* key, const std::vector<std::string>& lines) {
    QJsonArray a;
    for (const auto& l : lines) a.append(Text(l));
    object[key] = a;
  }
  void operator()(const char* key, const std::vector<bool>& marks) {
    QJsonArray a;
    for (bool m : marks) a.append(m);
    object[key] = a;
  }
  void operator()(const char* key, const std::vector<DvdSectorRange>& ranges) {
    QJsonArray a;
    for (const DvdSectorRange& r : ranges) a.append(QJsonArray{qint64(r.first), qint64(r.last)});
    object[key] = a;
  }
  void operator()(const char* key, const std::shared_ptr<const DvdFileRecord>& file) {
    if (!file) return;
    auto it = std::find(files_.begin(), files_.end(), file);
    if (it == files_.end()) it = files_.insert(files_.end(), file);
    object[key] = int(it - files_.begin());
  }
  template <class T>
  void operator()(const char* key, const T& record) requires requires(Writer& w, const T& t) {
    VisitFields(w, t);
  }
  {
    Writer inner(files_);
    VisitFields(inner, record);
    object[key] = inner.object;
  }
  template <class T>
  void operator()(const char* key, const std::optional<T>& record) {
    if (record) (*this)(key, *record);
  }
  void operator()(const char* key, StreamInfo::Kind k) { object[key] = int(k); }
  void operator()(const char* key, const std::vector<StreamInfo>& records) {
    QJsonArray a;
    for (const StreamInfo& r : records) {
      Writer inner(files_);
      VisitFields(inner, r);
      a.append(inner.object);
    }
    object[key] = a;
  }

 private:
  FileTable& files_;
};

// Reads fields from one object; the first bad one stops the reading with
// its name in `error`.
class Reader {
 public:
  Reader(const QJsonObject& object, std::string& error, const FileTable& files)
      : object_(object), error_(error), files_(files) {}

  void operator()(const char* key, std::string& s) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isString()) return Bad(key, "is not a text");
    QByteArray bytes = v.toString().toUtf8();
    // The exact bytes of a text that is not UTF-8, when they were kept.
    QJsonValue exact = object_.value(QString(key) + "Bytes");
    if (exact.isString()) bytes = QByteArray::fromPercentEncoding(exact.toString().toLatin1());
    // A NUL would cut a path short where it is handed to the system.
    if (bytes.contains('\0')) return Bad(key, "holds a NUL character");
    s.assign(bytes.constData(), size_t(bytes.size()));
  }
  void operator()(const char* key, bool& b) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isBool()) return Bad(key, "is not true or false");
    b = v.toBool();
  }
  void operator()(const char* key, int32_t& n) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    double d = v.toDouble(-1);
    // Every stored number is a count of seconds or bytes: whole, not negative.
    if (!v.isDouble() || d < 0 || d > INT32_MAX || std::floor(d) != d)
      return Bad(key, "is not a whole number from 0 to 2147483647");
    n = int32_t(d);
  }
  void operator()(const char* key, uint32_t& n) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!Sector(v, n)) Bad(key, "is not a whole number from 0 to 4294967295");
  }
  void operator()(const char* key, std::vector<DvdSectorRange>& ranges) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isArray() || v.toArray().size() > kMaxSectorRanges)
      return Bad(key, "is not a list of at most 255 sector ranges");
    ranges.clear();
    const QJsonArray a = v.toArray();
    for (const QJsonValue& item : a) {
      DvdSectorRange r;
      const QJsonArray pair = item.toArray();
      if (!item.isArray() || pair.size() != 2 || !Sector(pair[0], r.first) || !Sector(pair[1], r.last))
        return Bad(key, "is not a list of sector ranges");
      ranges.push_back(r);
    }
  }
  void operator()(const char* key, std::vector<bool>& marks) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isArray() || v.toArray().size() > ListStore::kMaxRows) return Bad(key, "is not a list of marks");
    marks.clear();
    const QJsonArray a = v.toArray();
    for (const QJsonValue& item : a) {
      if (!item.isBool()) return Bad(key, "is not a list of marks");
      marks.push_back(item.toBool());
    }
  }
  void operator()(const char* key, std::shared_ptr<const DvdFileRecord>& file) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d < 0 || d >= double(files_.size()) || std::floor(d) != d)
      return Bad(key, "names no DVD file of this list");
    file = files_[size_t(d)];
  }
  void operator()(const char* key, EntryState& s) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    for (const auto& n : kStateNames)
      if (v.isString() && v.toString() == QLatin1String(n.name)) {
        s = n.state;
        return;
      }
    Bad(key, "is not an entry state");
  }
  void operator()(const char* key, std::vector<std::string>& lines) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isArray()) return Bad(key, "is not a list of texts");
    lines.clear();
    const QJsonArray a = v.toArray();
    for (const QJsonValue& item : a) {
      if (!item.isString()) return Bad(key, "is not a list of texts");
      QByteArray bytes = item.toString().toUtf8();
      if (bytes.contains('\0')) return Bad(key, "holds a NUL character");
      lines.emplace_back(bytes.constData(), size_t(bytes.size()));
    }
  }
  template <class T>
  void operator()(const char* key, T& record) requires requires(Reader& r, T& t) {
    VisitFields(r, t);
  }
  {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isObject()) return Bad(key, "is not a record");
    Reader inner(v.toObject(), error_, files_);
    VisitFields(inner, record);
  }
  template <class T>
  void operator()(const char* key, std::optional<T>& record) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) {
      record.reset();
      return;
    }
    record.emplace();
    (*this)(key, *record);
  }
  void operator()(const char* key, StreamInfo::Kind& k) {
    int32_t n = -1;
    (*this)(key, n);
    if (n < 0) return;
    if (n > int(StreamInfo::Kind::Subtitle)) return Bad(key, "is not a kind of stream");
    k = StreamInfo::Kind(n);
  }
  void operator()(const char* key, std::vector<StreamInfo>& records) {
    QJsonValue v = Value(key);
    if (v.isUndefined()) return;
    if (!v.isArray() || size_t(v.toArray().size()) > kMaxStreams)
      return Bad(key, "is not a list of at most 256 streams");
    records.clear();
    const QJsonArray a = v.toArray();
    for (const QJsonValue& item : a) {
      if (!item.isObject()) return Bad(key, "is not a list of streams");
      Reader inner(item.toObject(), error_, files_);
      VisitFields(inner, records.emplace_back());
    }
  }

 private:
  static bool Sector(const QJsonValue& v, uint32_t& n) {
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d < 0 || d > UINT32_MAX || std::floor(d) != d) return false;
    n = uint32_t(d);
    return true;
  }
  // Undefined once an error is set, so the rest is skipped.
  QJsonValue Value(const char* key) const {
    return error_.empty() ? object_.value(QLatin1String(key)) : QJsonValue(QJsonValue::Undefined);
  }
  void Bad(const char* key, const char* what) {
    if (error_.empty()) error_ = std::string("the field \"") + key + "\" " + what;
  }

  QJsonObject object_;
  std::string& error_;
  const FileTable& files_;
};

// Writes the text to a new file beside `path`, syncs it and renames it over
// `path`, then syncs the folder so the rename itself survives a power cut.
bool WriteAtomically(const std::string& path, const std::string& text, std::string& error) {
  std::string dir = path.substr(0, path.rfind('/') + 1);
  if (!QDir().mkpath(Text(dir))) {
    error = "cannot make the folder " + dir;
    return false;
  }
  std::string temp = path + ".XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot write in " + dir + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    error = "cannot write " + path + ": " + std::strerror(savedErrno);
    ::unlink(temp.c_str());
    return false;
  }
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string CountText(int n) { return std::to_string(n) + (n == 1 ? " entry" : " entries"); }

}  // namespace

void OlderEntryTexts::ApplyTo(Toriginalinfo& e) const {
  auto number = [](std::string_view t) -> std::optional<int32_t> {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    size_t digits = 0;
    while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') ++digits;
    return ReadWholeNumber<int32_t>(t.substr(0, digits));
  };
  if (size_t x = frameSize.find('x'); x != std::string::npos) {
    auto w = number(std::string_view(frameSize).substr(0, x)),
         h = number(std::string_view(frameSize).substr(x + 1));
    if (w && h && *w > 0 && *h > 0) e.width = *w, e.height = *h;
  }
  if (auto v = number(videoRate)) e.videoKbps = *v;
  if (auto a = number(audioRate)) e.audioKbps = *a;
}

std::string EncodeList(const std::vector<ListRow>& rows, const DvdViewState& dvdView) {
  FileTable files;
  QJsonArray a;
  for (const ListRow& r : rows) {
    Writer w(files);
    VisitFields(w, r);
    a.append(w.object);
  }
  QJsonArray fileRecords;
  for (const auto& f : files) {
    Writer w(files);
    VisitFields(w, *f);
    fileRecords.append(w.object);
  }
  Writer view(files);
  VisitFields(view, dvdView);
  QJsonObject top{{"format", kFormat}, {"rows", a}, {"dvdFiles", fileRecords}, {"dvdView", view.object}};
  return QJsonDocument(top).toJson(QJsonDocument::Indented).toStdString();
}

std::optional<StoredList> DecodeStoredList(const std::string& text, std::string& error) {
  error.clear();
  // The list is written with every control character escaped: a raw one
  // means the file was not written by this program.
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      error = "not a list file (a control character at byte " + std::to_string(i) + ")";
      return std::nullopt;
    }
  }
  QJsonParseError parse{};
  QJsonDocument doc =
      QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), qsizetype(text.size())), &parse);
  if (parse.error != QJsonParseError::NoError) {
    error = "not a list file (" + parse.errorString().toStdString() + " at byte " +
            std::to_string(parse.offset) + ")";
    return std::nullopt;
  }
  QJsonObject top = doc.object();
  const int format = top.value("format").toInt(-1);
  if (!doc.isObject() || format < kOldestFormat || format > kFormat || !top.value("rows").isArray()) {
    error = "not a list file of this program";
    return std::nullopt;
  }
  const QJsonArray a = top.value("rows").toArray();
  const QJsonValue fileValue = top.value("dvdFiles");
  const QJsonArray fileRecords = fileValue.toArray();
  if (a.size() > ListStore::kMaxRows || fileRecords.size() > ListStore::kMaxRows) {
    error = "more than " + std::to_string(ListStore::kMaxRows) + " entries";
    return std::nullopt;
  }
  if (!fileValue.isUndefined() && !fileValue.isArray()) {
    error = "the DVD files are not a list";
    return std::nullopt;
  }
  FileTable files;
  for (qsizetype i = 0; i < fileRecords.size(); ++i) {
    auto file = std::make_shared<DvdFileRecord>();
    Reader r(fileRecords[i].toObject(), error, files);
    if (fileRecords[i].isObject()) VisitFields(r, *file);
    if (!fileRecords[i].isObject() || !error.empty()) {
      error = "DVD file " + std::to_string(i + 1) + ": " + (error.empty() ? "is not a record" : error);
      return std::nullopt;
    }
    files.push_back(std::move(file));
  }
  StoredList stored;
  stored.rows.reserve(size_t(a.size()));
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (!a[i].isObject()) {
      error = "entry " + std::to_string(i + 1) + " is not a record";
      return std::nullopt;
    }
    ListRow row;
    Reader r(a[i].toObject(), error, files);
    VisitFields(r, row);
    if (error.empty() && row.dvd && !row.dvd->file) error = "the DVD entry names no DVD file";
    if (!error.empty()) {
      error = "entry " + std::to_string(i + 1) + ": " + error;
      return std::nullopt;
    }
    // What the end of the program cut short is over: a conversion that
    // never ended is to be done (a DVD row is ready again), a preview
    // stopped. The file's own record of the row is what tells its kind.
    if (row.state == EntryState::Converting) {
      row.state = row.dvd ? EntryState::Ready : EntryState::Waiting;
      row.outputFile.clear();
    } else if (row.state == EntryState::Playing || row.state == EntryState::Paused) {
      row.state = EntryState::Stopped;
    }
    stored.rows.push_back(std::move(row));
  }
  Reader view(top, error, files);
  view("dvdView", stored.dvdView);
  if (!error.empty()) {
    error = "the DVD view: " + error;
    return std::nullopt;
  }
  return stored;
}

std::optional<std::vector<ListRow>> DecodeList(const std::string& text, std::string& error) {
  std::optional<StoredList> stored = DecodeStoredList(text, error);
  if (!stored) return std::nullopt;
  return std::move(stored->rows);
}

void SettleRestoredRow(ListRow& row, const RowSource& source) { source.LookForSource(row); }

ListStore::ListStore(ConversionList& list, const ProgramInfo& program, Notifier& notifier,
                     const RowSources& sources)
    : list_(list), program_(program), notifier_(notifier), sources_(sources) {
  writeTimer_.setSingleShot(true);
  writeTimer_.setInterval(kWriteDelayMs);
  writeTimer_.callOnTimeout([this] { Flush(); });
}

ListStore::~ListStore() {
  // At exit nobody is left to tell of a failed write.
  std::string error;
  if (pending_) Save(error);
}

std::string ListStore::Path() const {
  return Settings::ConfigDir() + program_.NameWithoutExtension() + ".list";
}

std::string ListStore::ListText() const {
  return EncodeList(list_.Rows(), dvdViewHook ? dvdViewHook() : DvdViewState{});
}

void ListStore::Restore() {
  if (restored_) return;
  restored_ = true;
  const std::string path = Path();
  std::string text, error;
  std::optional<StoredList> stored;
  switch (ReadRegularFile(path, text, size_t(kMaxFileBytes))) {
    case FileRead::Ok:
      stored = DecodeStoredList(text, error);
      break;
    case FileRead::Missing:
      stored.emplace();
      break;
    case FileRead::TooLarge:
      error = "larger than any list file";
      break;
    case FileRead::NotRegular:
      error = "not a regular file";
      break;
    default:
      error = "cannot be read";
      break;
  }
  if (!stored) {
    std::string kept = path + ".damaged";
    bool moved = std::rename(path.c_str(), kept.c_str()) == 0;
    notifier_.display().SetText("hint", "The saved list could not be restored: " + path + " is " + error +
                                            "." + (moved ? " It was kept as " + kept + "." : ""));
  } else {
    std::vector<ListRow>& rows = stored->rows;
    const int leftOut = dvdRestoreHook ? dvdRestoreHook(rows, stored->dvdView) : 0;
    int missing = 0;
    for (ListRow& row : rows) {
      SettleRestoredRow(row, sources_.Of(row));
      missing += row.sourceMissing ? 1 : 0;
      list_.Append(std::move(row));
    }
    std::string hint;
    if (list_.Count() > 0) hint = "Restored " + CountText(int(list_.Count())) + " from the last session.";
    if (missing > 0)
      hint += " " + CountText(missing) + (missing == 1 ? " has lost its file." : " have lost their file.");
    if (leftOut > 0)
      hint += std::string(hint.empty() ? "" : " ") + CountText(leftOut) +
              " of a DVD no longer matching the disc " + (leftOut == 1 ? "was" : "were") + " left out.";
    if (!hint.empty()) notifier_.display().SetText("hint", hint);
  }
  lastWritten_ = stored ? ListText() : std::string();
  writing_ = true;
  list_.changedHook = [this] { SaveAfterChange(); };
}

bool ListStore::Save(std::string& error) {
  std::string text = ListText();
  if (text == lastWritten_) return true;
  if (!WriteAtomically(Path(), text, error)) return false;
  lastWritten_ = std::move(text);
  return true;
}

void ListStore::SaveAfterChange() {
  if (!writing_) return;
  pending_ = true;
  // The first change of a run starts the delay; later ones join its write.
  if (!writeTimer_.isActive()) writeTimer_.start();
}

void ListStore::Flush() {
  writeTimer_.stop();
  if (!pending_) return;
  pending_ = false;
  std::string error;
  bool ok = Save(error);
  // Said once when writing starts to fail, not at every change after, and
  // once when it works again, so the failure is not left standing.
  if (!ok && !failing_) notifier_.display().SetText("hint", "The list could not be saved: " + error);
  if (ok && failing_) notifier_.display().SetText("hint", "The list is saved again: " + Path());
  failing_ = !ok;
}

}  // namespace pcm
