// The headless batch: the same commands the window uses, driven from the
// command line, with a terminal progress display and a final report.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "app/BatchFrontEnd.h"
#include "app/ConsoleOutput.h"
#include "app/ConsoleProgress.h"
#include "app/ConsoleSystemActions.h"
#include "app/ConsoleUserInterface.h"
#include "app/FolderWalk.h"
#include "app/JobExport.h"
#include "base/ProgramStart.h"
#include "core/Application.h"
#include "dvd/DvdRowSource.h"
#include "engine/EventPump.h"
#include "engine/JobRecord.h"
#include "engine/OutputFiles.h"
#include "profiles/Catalog.h"
#include "queue/BatchEstimate.h"
#include "queue/Trim.h"
#include "ui/CommandError.h"
#include "ui/StopSignals.h"

namespace pcm {

namespace {

// The encoder adapter's own account of how far it confines itself and the
// programs it runs ("sandbox: Landlock ABI 7: ..."), or why it cannot say.
std::string SandboxLine(const std::string& programPath) {
  ProgramStart how;
  how.args = {programPath.substr(0, programPath.rfind('/') + 1) + "register.dat", "--sandbox-status"};
  FinishedProgram run = RunToEnd(how);
  if (!run.start.ok()) return "sandbox: unknown, " + run.start.what + "\n";
  if (run.out.rfind("sandbox: ", 0) != 0 || run.out.back() != '\n')
    return "sandbox: unknown, " + how.args[0] + " did not tell\n";
  return run.out;
}

// Selects an index of a choice list as the settings dialog would. A list
// the window shows disabled still takes an index: the disc profiles read the
// channel list although the person cannot change it there.
bool SelectIndex(CoreApp& app, ChoiceList& list, int index, const char* option, std::string& error) {
  if (index >= int(list.items.size())) {
    error = std::string(option) + " " + std::to_string(index) + " is not offered by profile " +
            std::to_string(app.profiles.currentProfile) + "; it offers:";
    for (size_t k = 0; k < list.items.size(); ++k) error += "\n  " + std::to_string(k) + "  " + list.items[k];
    if (list.items.empty()) error += " nothing";
    return false;
  }
  app.profiles.SetSelected(list, index);
  return true;
}

std::string AbsolutePath(const std::string& path) {
  QString text = QString::fromStdString(path);
  // A name that is not UTF-8 (legal on Linux) would not survive the text
  // conversion; it is made absolute as bytes instead.
  if (text.toStdString() != path) {
    if (path[0] == '/') return path;
    char* cwd = getcwd(nullptr, 0);
    std::string absolute = std::string(cwd ? cwd : ".") + "/" + path;
    std::free(cwd);
    return absolute;
  }
  return QFileInfo(text).absoluteFilePath().toStdString();
}

// How the rows ended, for the report's last line; a row never started
// counts as not started.
BatchTally TallyOfRows(const ConversionList& list) {
  BatchTally tally;
  for (const ListRow& r : list.Rows()) {
    switch (r.state) {
      case EntryState::Finished:
        ++tally.finished;
        break;
      case EntryState::Failed:
        ++tally.failed;
        break;
      case EntryState::Stopped:
        ++tally.stopped;
        break;
      case EntryState::Skipped:
        ++tally.skipped;
        break;
      default:
        ++tally.notReached;
    }
  }
  return tally;
}

void PrintReport(CoreApp& app) {
  std::string text = "\n";
  for (int i = 0; i < app.list.Count(); ++i) {
    const ListRow& r = app.list.Row(i);
    std::string status = Ended(r.state) ? StatusText(r) : "Not converted";
    text += status + "  " + (r.outputFile.empty() ? "-" : Printable(r.outputFile)) + "\n";
    text += "    from " + Printable(app.sources.Of(r).Describe(r)) + "\n";
    if (r.state == EntryState::Failed) {
      text += "    the encoder's last lines:\n";
      for (const auto& line : r.failureLines) text += "    | " + Printable(line) + "\n";
    }
  }
  Out(text + "\n" + BatchSummaryText(TallyOfRows(app.list)) + "\n");
}

// The exit status once the report is out: a report that could not be
// written fails the run, except when its reader went away (a pipe into
// "head"), which says nothing about the conversions.
int WithReportStatus(const std::string& prog, int status) {
  int error = OutError();
  if (error == 0 || error == EPIPE) return status;
  std::fprintf(stderr, "%s: the report could not be written: %s\n", prog.c_str(), std::strerror(error));
  return kExitFailed;
}

// A message of several lines made safe for the terminal line by line: its
// line breaks stay, control characters within a line are escaped.
std::string PrintableLines(const std::string& text) {
  std::string shown;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    shown += Printable(text.substr(start, end - start)) + "\n";
  return shown + Printable(text.substr(start));
}

const char* StatFailure(int error) {
  if (error == ENOENT) return "no such file or folder";
  if (error == ELOOP) return "a loop of symbolic links (too many levels of symbolic links)";
  return std::strerror(error);
}

// One run of `--batch`, step by step: choices, encoder check, adding, trim,
// output folder, then the dry run or the conversions and what follows them.
// Each step that ends the run returns its exit status.
class HeadlessBatch {
 public:
  HeadlessBatch(const std::string& programPath, const BatchRequest& req)
      : req_(req), app_({programPath, nullptr, &ui_, &system_}), prog_(Printable(app_.program.Name())) {}

  int Run() {
    StopSignalWatch stopWatch([this] { OnStopSignal(); });
    if (auto status = ApplyChoices()) return *status;
    if (auto status = CheckEncoder()) return *status;
    convertWhileAdding_ = ConvertsWhileAdding();
    AddPaths();
    // The batch began with the first file described; the checks below had
    // nothing to refuse.
    if (batchBegun_) return AfterBatch(Convert());
    if (interrupted_) {
      std::fprintf(stderr, "%s: interrupted while adding; nothing was converted\n", prog_.c_str());
      return kExitFailed;
    }
    if (auto status = ChooseDvdRows()) return *status;
    // A listing shows the lengths and estimates the conversions would have.
    if (req_.trim) TrimEntries();
    if (req_.list) return ListRows();
    if (app_.list.Count() == 0) {
      std::fprintf(stderr, "%s: nothing to convert\n", prog_.c_str());
      return kExitFailed;
    }
    if (auto status = CheckOutputFolder()) return *status;
    if (auto status = MakeOutputFolder()) return *status;
    if (req_.dryRun) return DryRun();
    if (req_.exportJobs) return ExportJobs();
    return AfterBatch(Convert());
  }

 private:
  int Usage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n\n%s", prog_.c_str(), PrintableLines(message).c_str(),
                 UsageText(prog_).c_str());
    return kExitUsage;
  }

  // Ctrl-C and the other ending signals: a running batch is stopped as the
  // Stop button stops it; an add ends at its next file.
  void OnStopSignal() {
    interrupted_ = true;
    if (app_.run.converting) {
      std::fprintf(stderr, "\n%s: stopping the batch\n", prog_.c_str());
      app_.batch.StopBatch();
    }
  }

  // The saved settings and profile, then the options' choices on top.
  std::optional<int> ApplyChoices() {
    try {
      // Nothing this run changes is saved, and only --when-done chooses what
      // follows the batch. With --profile the saved profile is not selected
      // first, so a damaged block of it does not stand in the way.
      app_.settings.readOnly = true;
      app_.settings.LoadSettings(!req_.profile);
      app_.settings.finishAction = kFinishNothing;
      // The saved number of simultaneous conversions belongs to the window,
      // as do its choices for folders and existing outputs.
      app_.settings.jobs = req_.jobs;
      app_.settings.keepFolders = req_.keepFolders;
      app_.settings.skipExisting = req_.skipExisting;
      if (req_.profile) {
        const ProfileRecord* rec = ProfileInfo(*req_.profile);
        if (!rec || !rec->displayName || rec->media == Media::None)
          return Usage("there is no profile " + std::to_string(*req_.profile) + " (see --list-profiles)");
        app_.profiles.SelectProfile(*req_.profile);
      }
      ProfileState& p = app_.profiles;
      struct Choice {
        const std::optional<int>& index;
        ChoiceList& list;
        const char* option;
      };
      const Choice kChoices[] = {{req_.size, p.cb_size, "--size"},
                                 {req_.videoQuality, p.cb_videobitrate, "--video-quality"},
                                 {req_.audioQuality, p.cb_audiobitrate, "--audio-quality"},
                                 {req_.channels, p.cb_channel, "--channels"}};
      for (const Choice& c : kChoices) {
        std::string error;
        if (c.index && !SelectIndex(app_, c.list, *c.index, c.option, error)) return Usage(error);
      }
      // The name holds no control character: the options refused those.
      if (req_.output) app_.settings.outputField = AbsolutePath(*req_.output);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", prog_.c_str(), Printable(e.what()).c_str());
      return kExitFailed;
    }
    return std::nullopt;
  }

  // Without the encoder every probe fails and each file would be called
  // unsupported; a broken installation is named as such instead.
  std::optional<int> CheckEncoder() {
    const std::string& encoder = app_.engine.record.EncoderPath;
    if (access(encoder.c_str(), X_OK) == 0) return std::nullopt;
    std::fprintf(stderr, "%s: the encoder %s cannot be run: %s\n", prog_.c_str(), Printable(encoder).c_str(),
                 std::strerror(errno));
    return kExitFailed;
  }

  // Whether the files can be converted while the later ones are still
  // being described: nothing has to see the whole list first. A listing, a
  // dry run and an export convert nothing; --trim, --audio and --subtitle
  // may leave rows out or refuse the run; a DVD's titles are picked among
  // all its rows, and --titles picks rows by their number.
  bool ConvertsWhileAdding() const {
    if (req_.list || req_.dryRun || req_.exportJobs || req_.trim || req_.audio || req_.subtitle ||
        req_.titles == TitlePick::Rows || req_.chapters)
      return false;
    return std::none_of(req_.paths.begin(), req_.paths.end(), [](const std::string& given) {
      return DvdPathOf(AbsolutePath(given)) != DvdPath::None;
    });
  }

  // A row added while converting while adding: the first checked one
  // begins the batch, once the output folder is there as a run needs it
  // (else the run goes on as without it, and names the fault after the
  // adding); later ones join it.
  void RowAdded(int pos) {
    if (batchBegun_) {
      app_.batch.RowsAdded();
      return;
    }
    if (!convertWhileAdding_ || !app_.list.Row(pos).checked || interrupted_) return;
    if (!OutputFolderFault().empty() || !MakeOutputFolderFault().empty()) {
      convertWhileAdding_ = false;
      return;
    }
    app_.batch.ExpectRows();
    BeginConversions();
    batchBegun_ = app_.run.converting;
    if (!batchBegun_) {
      convertWhileAdding_ = false;
      EndConversions();
    }
  }

  // Adds every path; a file that cannot be added is reported and counted.
  // Ctrl-C also ends a folder between two of its files, and a slow probe.
  void AddPaths() {
    app_.listCommands.stopAddingHook = [this] { return interrupted_; };
    app_.probe.stopHook = [this] { return interrupted_; };
    if (convertWhileAdding_) app_.listCommands.rowAddedHook = [this](int pos) { RowAdded(pos); };
    // A file whose output exists is skipped before it is probed, so a run
    // over a converted library costs little more than listing it. --list
    // shows every row as it is. A name this batch gave already is no
    // reason to skip: the entry is numbered as without the setting.
    if (req_.skipExisting && !req_.list)
      app_.listCommands.unprobedSkipHook = [this](const ListRow& row) {
        try {
          return app_.batch.SkippedOutput(
              row, [this](const std::string& path) { return app_.batch.OwnOutputName(path); });
        } catch (const std::exception&) {
          // Probed then, and the batch names the fault.
          return std::string();
        }
      };
    // DVDs are listed in the view asked for; the list is still empty.
    if (req_.chapters) app_.dvd.ToggleChapterView();
    // Files named next to each other are added together, so their probes
    // run at the same time; their rows keep the order given.
    std::vector<std::string> files;
    for (const auto& given : req_.paths) {
      if (interrupted_) break;
      std::string path = AbsolutePath(given);
      struct stat st;
      bool found = stat(path.c_str(), &st) == 0;
      const int statError = errno;  // adding the files before may change errno
      const DvdPath dvd = found ? DvdPathOf(path) : DvdPath::None;
      if (found && !S_ISDIR(st.st_mode) && dvd == DvdPath::None) {
        files.push_back(path);
        continue;
      }
      AddFiles(files);
      if (interrupted_) break;
      if (dvd != DvdPath::None) {
        AddDvd(given, path, S_ISDIR(st.st_mode));
      } else if (found && S_ISDIR(st.st_mode)) {
        // A folder that cannot be listed would add nothing without a word.
        if (access(path.c_str(), R_OK | X_OK) != 0) {
          std::fprintf(stderr, "%s: %s: the folder cannot be read: %s\n", prog_.c_str(),
                       Printable(given).c_str(), std::strerror(errno));
          ++notAdded_;
          continue;
        }
        AddFolder(path);
      } else if (!found) {
        std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(), Printable(given).c_str(), StatFailure(statError));
        ++notAdded_;
      }
    }
    AddFiles(files);
    app_.listCommands.rowAddedHook = nullptr;
  }

  // Adds the files in their order, probed several at a time; every one not
  // added counts, those left untried after a fault of the profile file too.
  void AddFiles(std::vector<std::string>& files) {
    DropRepeats(files);
    if (files.empty()) return;
    size_t tried = 0;
    notAdded_ += app_.listCommands.AddFileList(files, &tried);
    if (!interrupted_) notAdded_ += int(files.size() - tried);
    files.clear();
  }

  // A file given again, by the same name or another (a folder and its
  // file, a link, "dir/./x"), is converted once: the later mention is left
  // out with a note naming the first. With --keep-folders a file found in a
  // folder has its own place in the kept tree, its subfolder and name: a
  // file found again at another place (a hard link in a second album) gets
  // a result there too.
  static const std::string& PathOf(const std::string& path) { return path; }
  static const std::string& PathOf(const FoundFile& file) { return file.path; }
  std::string PlaceOf(const std::string&) const { return {}; }
  std::string PlaceOf(const FoundFile& file) const {
    return req_.keepFolders ? file.subfolder + file.path.substr(file.path.rfind('/') + 1) : std::string();
  }
  template <class File>
  void DropRepeats(std::vector<File>& files) {
    std::erase_if(files, [&](const File& file) {
      const std::string& path = PathOf(file);
      struct stat st;
      if (stat(path.c_str(), &st) != 0) return false;  // the add names the problem
      auto [at, first] = added_.try_emplace({st.st_dev, st.st_ino, PlaceOf(file)}, path);
      if (first) return false;
      if (at->second == path)
        std::fprintf(stderr, "%s: %s: named more than once; converted once\n", prog_.c_str(),
                     Printable(path).c_str());
      else
        std::fprintf(stderr, "%s: %s: the same file as %s; converted once\n", prog_.c_str(),
                     Printable(path).c_str(), Printable(at->second).c_str());
      return true;
    });
  }

  // Lists a DVD's titles (or titles and chapters) after the rows so far.
  void AddDvd(const std::string& given, const std::string& path, bool folder) {
    const int before = app_.list.Count();
    const size_t unreadableBefore = app_.dvd.UnreadableSets().size();
    bool found = true;
    if (folder)
      found = app_.dvd.AddFolderPath(path);
    else
      app_.dvd.AddIfoPath(path);
    // A title set that cannot be read is named, and fails the run.
    const auto& unreadable = app_.dvd.UnreadableSets();
    for (size_t i = unreadableBefore; i < unreadable.size(); ++i) {
      std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(), Printable(unreadable[i].ifoPath).c_str(),
                   Printable(unreadable[i].why).c_str());
      ++notAdded_;
    }
    if (app_.list.Count() == before) {
      std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(), Printable(given).c_str(),
                   found ? "no title of the DVD can be converted" : "no IFO file of a title set found");
      ++notAdded_;
      return;
    }
    dvdRanges_.push_back({before, app_.list.Count()});
  }

  // Applies --titles, --audio and --subtitle to the DVD rows. Rows not
  // picked are left out of the batch (and shown unmarked by --list).
  std::optional<int> ChooseDvdRows() {
    const int n = app_.list.Count();
    std::vector<bool> picked(size_t(n), req_.titles != TitlePick::Main);
    if (req_.titles == TitlePick::Main) {
      for (int i = 0; i < n; ++i) picked[size_t(i)] = !InDvdRange(i);
      for (const auto& [from, to] : dvdRanges_)
        if (int best = app_.dvd.LongestEntry(from, to); best >= 0) picked[size_t(best)] = true;
    } else if (req_.titles == TitlePick::Rows) {
      std::fill(picked.begin(), picked.end(), false);
      for (int r : req_.titleRows) {
        if (r > n) return Usage("--titles: there is no row " + std::to_string(r) + " (see --list)");
        picked[size_t(r - 1)] = true;
      }
    }
    for (int i = 0; i < n; ++i) {
      ListRow& row = app_.list.Row(i);
      // Skipped unprobed: it stays unchecked, and has no streams to choose.
      if (row.state == EntryState::Skipped) continue;
      app_.list.SetChecked(i, picked[size_t(i)]);
      // Beside a DVD the stream choice is the picked DVD rows'; without
      // one, every file's.
      if (!dvdRanges_.empty() && !(InDvdRange(i) && picked[size_t(i)])) continue;
      const RowSource& source = app_.sources.Of(row);
      if (req_.audio && !source.ChooseTrack(row, false, req_.audio->byId, req_.audio->value))
        return NoSuchStream(row, "audio", *req_.audio);
      if (req_.subtitle && !source.ChooseTrack(row, true, req_.subtitle->byId, req_.subtitle->value))
        return NoSuchStream(row, "subtitle", *req_.subtitle);
      app_.list.NotifyRowChanged(i);
    }
    if (!req_.list) {
      // Only the picked rows are converted and reported.
      for (int i = n - 1; i >= 0; --i)
        if (!picked[size_t(i)]) app_.list.RemoveAt(i);
    }
    return std::nullopt;
  }

  bool InDvdRange(int row) const {
    return std::any_of(dvdRanges_.begin(), dvdRanges_.end(),
                       [&](const auto& range) { return row >= range.first && row < range.second; });
  }

  int NoSuchStream(const ListRow& row, const char* kind, const StreamRequest& want) {
    char id[16];
    std::snprintf(id, sizeof id, want.byId ? "0x%x" : "%d", want.value);
    std::fprintf(stderr, "%s: %s has no %s stream %s (see --list); nothing was converted\n", prog_.c_str(),
                 Printable(app_.sources.Of(row).Describe(row)).c_str(), kind, id);
    // Asked for what the rows do not have: bad usage, as a missing row is.
    return kExitUsage;
  }

  // --list: every row with its number, marked "*" when it would be
  // converted, and the chosen streams; then every audio and subtitle
  // stream of the row with the number --audio and --subtitle take, the
  // chosen one marked "*".
  int ListRows() {
    std::string text;
    for (int i = 0; i < app_.list.Count(); ++i) {
      const ListRow& r = app_.list.Row(i);
      const RowTracks tracks = app_.sources.Of(r).Tracks(r);
      std::vector<std::string> streams;
      for (const TrackLine& t : tracks.lines) {
        char head[48];
        std::snprintf(head, sizeof head, "      %s %s %d: ", t.chosen ? "*" : " ", t.kind, t.number);
        streams.push_back(head + Printable(t.what));
      }
      char number[16];
      std::snprintf(number, sizeof number, "%3d%s ", i + 1, r.checked ? "*" : " ");
      text += number + Printable(r.caption) + "  " + FrameSizeText(r.entry) + "  " + r.time + "  " +
              r.outputSize + "  audio: " + Printable(tracks.audio) +
              "  subtitle: " + Printable(tracks.subtitle) + "\n";
      for (const std::string& line : streams) text += line + "\n";
    }
    Out(text);
    return WithReportStatus(prog_, notAdded_ > 0 ? kExitFailed : kExitOk);
  }

  // The folder's media files, its subfolders' too with --recursive or
  // --keep-folders. Events
  // run between two files and while they are probed, so Ctrl-C ends the
  // adding at once; no other command can start meanwhile, as nothing but the
  // signal watch listens.
  void AddFolder(const std::string& folder) {
    std::vector<FoundFile> files;
    notAdded_ += ListMediaFiles(folder, req_.recursive || req_.keepFolders, files,
                                [&](const std::string& path, const std::string& why) {
                                  std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(), Printable(path).c_str(),
                                               why.c_str());
                                });
    // Without --keep-folders every file goes to the output folder itself.
    if (!req_.keepFolders)
      for (FoundFile& f : files) f.subfolder.clear();
    DropRepeats(files);
    // A fault of the profile file fails every file alike: it is said once
    // and ends the folder.
    notAdded_ += app_.listCommands.AddFileList(files);
  }

  // Every entry is trimmed as the trim window would; one that ends before
  // the begin is left out.
  void TrimEntries() {
    const auto [begin, end] = *req_.trim;
    for (int i = 0; i < app_.list.Count();) {
      ListRow& r = app_.list.Row(i);
      // A skipped row is not converted, trimmed or not.
      if (r.state == EntryState::Skipped) {
        ++i;
        continue;
      }
      if (!app_.sources.Of(r).Trim(r, begin, end)) {
        std::fprintf(stderr, "%s: %s: --trim begins at %s, not before its end (%s); left out\n",
                     prog_.c_str(), Printable(app_.sources.Of(r).Describe(r)).c_str(),
                     FormatClock(begin).c_str(), FormatClock(r.trim.total).c_str());
        app_.list.RemoveAt(i);
        ++notAdded_;
        continue;
      }
      app_.list.NotifyRowChanged(i);
      ++i;
    }
    app_.RunCommand([&] { app_.options.RefreshSizeEstimates(); });
  }

  // The entries' output folder, by its bytes (a name that is not UTF-8 is
  // a name like any other). The batch itself creates only its last level,
  // so a missing parent would fail every entry; a file in its place fails
  // the run at once, dry or not.
  std::optional<int> CheckOutputFolder() {
    const std::string fault = OutputFolderFault();
    if (fault.empty()) return std::nullopt;
    std::fprintf(stderr, "%s: %s\n", prog_.c_str(), fault.c_str());
    return kExitFailed;
  }

  // Sets the output folder's names; what is wrong with it, or "".
  std::string OutputFolderFault() {
    outDir_ = app_.options.OutputFolder();
    outDirName_ = outDir_.size() > 1 ? outDir_.substr(0, outDir_.size() - 1) : outDir_;
    struct stat st;
    const bool existed = lstat(outDirName_.c_str(), &st) == 0;
    if (existed && S_ISLNK(st.st_mode)) stat(outDirName_.c_str(), &st);
    if (!existed || S_ISDIR(st.st_mode)) return {};
    return "the output folder " + Printable(outDirName_) + " is not a folder; nothing was converted";
  }

  // The names a real run would use: an entry's output name is taken for
  // the entries after it, as its file would be. Nothing is written.
  int DryRun() {
    std::set<std::string> planned;
    auto reserved = [&](const std::string& path) { return planned.count(path) > 0; };
    int failed = 0;
    for (int i = 0; i < app_.list.Count(); ++i) {
      if (!app_.list.Row(i).checked) continue;
      try {
        if (app_.batch.SkipEntry(i, reserved)) continue;
        const ListRow& row = app_.list.Row(i);
        intputrec rec = app_.batch.JobRecordOf(row, reserved);
        planned.insert(rec.OutputFile);
        // A line to paste into a shell: each word quoted as it needs, so a
        // name runs nothing. Bytes a terminal would act on are shown
        // escaped, inside the quotes.
        rec.TempFile.clear();
        Out(Printable(ShellLine(BuildArgumentVector(rec))) + "\n");
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(),
                     Printable(app_.sources.Of(app_.list.Row(i)).Describe(app_.list.Row(i))).c_str(),
                     Printable(e.what()).c_str());
        ++failed;
      }
    }
    NoteSkipped();
    return WithReportStatus(prog_, failed + notAdded_ > 0 ? kExitFailed : kExitOk);
  }

  // One job line per checked entry instead of converting. Output names are
  // chosen as the batch would choose them, each name also taken for the
  // entries after it. Each line is the adapter's command, which makes the
  // hidden file it writes at run time; a DVD row's line reads the title
  // from the disc.
  int ExportJobs() {
    std::set<std::string> finals;
    auto reserved = [&](const std::string& path) { return finals.count(path) > 0; };
    std::string text;
    int failed = 0, written = 0;
    for (int i = 0; i < app_.list.Count(); ++i) {
      const ListRow& row = app_.list.Row(i);
      if (!row.checked) continue;
      try {
        if (app_.batch.SkipEntry(i, reserved)) continue;
        intputrec rec = app_.batch.JobRecordOf(row, reserved);
        std::string line = JobLine(BuildArgumentVector(rec));
        // The job file holds one job a line.
        if (line.find('\n') != std::string::npos)
          throw CommandError("a name with a line break cannot be written into a job file");
        // The lines find the subfolders they write to; the output folder
        // itself was made before.
        if (std::string error; !row.outputSubfolder.empty() &&
                               !MakeFolders(rec.OutputFile.substr(0, rec.OutputFile.rfind('/') + 1), error))
          throw CommandError(error);
        text += line + "\n";
        finals.insert(rec.OutputFile);
        ++written;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", prog_.c_str(),
                     Printable(app_.sources.Of(row).Describe(row)).c_str(), Printable(e.what()).c_str());
        ++failed;
      }
    }
    std::string error;
    if (!WriteNewFile(*req_.exportJobs, text, error)) {
      std::fprintf(stderr, "%s: the job file %s cannot be written: %s\n", prog_.c_str(),
                   Printable(*req_.exportJobs).c_str(), Printable(error).c_str());
      return kExitFailed;
    }
    if (*req_.exportJobs != "-")
      std::fprintf(stderr, "%s: %d job%s written to %s\n", prog_.c_str(), written, written == 1 ? "" : "s",
                   Printable(*req_.exportJobs).c_str());
    NoteSkipped();
    return failed + notAdded_ > 0 ? kExitFailed : kExitOk;
  }

  // The output folder is made before anything is converted or exported. A
  // dry run makes nothing: it checks that the run could make the folder and
  // write in it, and refuses what the run would refuse.
  // After a dry run or an export, which print no report: how many entries
  // were skipped because their output exists.
  void NoteSkipped() {
    const int skipped = TallyOfRows(app_.list).skipped;
    if (skipped > 0)
      std::fprintf(stderr, "%s: %d entr%s skipped: %s output file exists\n", prog_.c_str(), skipped,
                   skipped == 1 ? "y" : "ies", skipped == 1 ? "its" : "their");
  }

  std::optional<int> MakeOutputFolder() {
    const std::string fault = MakeOutputFolderFault();
    if (fault.empty()) return std::nullopt;
    std::fprintf(stderr, "%s: %s\n", prog_.c_str(), fault.c_str());
    return kExitFailed;
  }

  // Makes the output folder (a dry run only checks that it could be made
  // and written); why it cannot be, or "".
  std::string MakeOutputFolderFault() {
    std::string error;
    bool exists = false;
    if (req_.dryRun)
      error = FolderFault(outDir_, exists);
    else if (MakeFolders(outDir_, error))
      return {};
    if (error.empty()) return {};
    return "the output folder " + Printable(outDirName_) + " cannot be " + (exists ? "written" : "created") +
           "; nothing was converted (" + Printable(error) + ")";
  }

  // Runs the batch with the progress display, then prints the report. When
  // every entry was skipped before it was probed, nothing runs.
  int Convert() {
    const auto& rows = app_.list.Rows();
    if (!batchBegun_ && std::any_of(rows.begin(), rows.end(), [](const ListRow& r) { return r.checked; }))
      BeginConversions();
    if (printer_) EndConversions();
    PrintReport(app_);
    bool allDone = true;
    for (const auto& r : app_.list.Rows())
      allDone = allDone && (r.state == EntryState::Finished || r.state == EntryState::Skipped);
    return WithReportStatus(prog_, allDone && notAdded_ == 0 && !interrupted_ ? kExitOk : kExitFailed);
  }

  // Starts the batch with the progress display. While files are still
  // being added the display holds its lines until EndConversions.
  void BeginConversions() {
    printer_.emplace(app_.list, isatty(STDOUT_FILENO) == 1, req_.quiet, app_.batch.JobsAtOnce());
    if (app_.listCommands.AddingFiles()) printer_->Hold();
    ui_.beforePrint = [this] { printer_->EndBar(); };
    shown_ =
        QObject::connect(&app_.list, &ConversionList::rowChanged, [this](int i) { printer_->RowChanged(i); });
    over_ = false;
    app_.batch.batchOverHook = [this] { over_ = true; };
    app_.RunCommand([&] { app_.batch.StartBatch(); });
  }

  // Every row is there: the batch ends after the last. The batch runs on
  // hand-overs from the encoder's workers; after a stop the encoder's end is
  // awaited too, so none is left running.
  void EndConversions() {
    app_.batch.RowsComplete();
    printer_->Release();
    while ((app_.run.converting && !over_) || app_.engine.Running())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    printer_->EndBar();
    app_.batch.batchOverHook = nullptr;
    QObject::disconnect(shown_);
    ui_.beforePrint = nullptr;
    printer_.reset();
  }

  // What the person asked for after the batch; nothing after a Ctrl-C.
  int AfterBatch(int status) {
    if (interrupted_) return status;
    if (req_.whenDone == WhenDone::OpenFolder) {
      system_.OpenFolder(app_.settings.outputField.empty() ? app_.settings.outputDirectory
                                                           : app_.settings.outputField);
    } else if (req_.whenDone == WhenDone::Shutdown &&
               CountDownToShutdown(prog_, ShutdownCountdownSeconds(), interrupted_)) {
      system_.Shutdown();
      if (!system_.shutdownError.empty()) {
        std::fprintf(stderr, "%s: %s\n", prog_.c_str(), Printable(system_.shutdownError).c_str());
        return kExitFailed;
      }
    }
    return status;
  }

  const BatchRequest& req_;
  ConsoleUserInterface ui_;
  ConsoleSystemActions system_;
  CoreApp app_;
  const std::string prog_;
  bool interrupted_ = false;
  int notAdded_ = 0;
  bool convertWhileAdding_ = false;  // files convert while later ones are described
  bool batchBegun_ = false;          // ... and the batch has begun
  std::optional<ProgressPrinter> printer_;
  QMetaObject::Connection shown_;
  bool over_ = false;
  std::string outDir_;                          // with its trailing '/'
  std::string outDirName_;                      // without it
  std::vector<std::pair<int, int>> dvdRanges_;  // rows of each DVD path
  // Files added, by identity and place in a kept tree, with their path.
  std::map<std::tuple<dev_t, ino_t, std::string>, std::string> added_;
};

}  // namespace

int RunBatch(const std::string& programPath, const BatchRequest& req) {
  return HeadlessBatch(programPath, req).Run();
}

int RunHeadless(const std::string& programPath, const std::vector<std::string>& args) {
  std::string prog = Printable(QFileInfo(QString::fromStdString(programPath)).fileName().toStdString());
  SurviveBrokenPipes();
  if (args.empty()) return kExitUsage;
  const std::string& first = args[0];
  const bool alone = first == "--help" || first == "-h" || first == "--version" || first == "--list-profiles";
  if (alone && args.size() > 1) {
    std::fprintf(stderr, "%s: %s takes no arguments\n\n%s", prog.c_str(), first.c_str(),
                 UsageText(prog).c_str());
    return kExitUsage;
  }
  if (first == "--help" || first == "-h") {
    Out(UsageText(prog));
    return WithReportStatus(prog, kExitOk);
  }
  if (first == "--version") {
    Out(VersionText(prog) + SandboxLine(programPath));
    return WithReportStatus(prog, kExitOk);
  }
  if (first == "--list-profiles") {
    std::string text;
    for (int n = 1; n <= kProfileCount; ++n) {
      const ProfileRecord* rec = ProfileInfo(n);
      if (!rec || !rec->displayName || rec->media == Media::None) continue;
      char line[256];
      std::snprintf(line, sizeof line, "%3d  %-5s  %s\n", n, rec->media == Media::Audio ? "audio" : "video",
                    rec->displayName);
      text += line;
    }
    Out(text);
    return WithReportStatus(prog, kExitOk);
  }
  if (first != "--batch") {
    // Started with an option the window does not take either.
    std::string bad = ForeignOption(args);
    if (bad.empty()) bad = first;
    std::fprintf(stderr, "%s: unknown option %s\n\n%s", prog.c_str(), Printable(bad).c_str(),
                 UsageText(prog).c_str());
    return kExitUsage;
  }
  std::string error;
  auto req = ParseBatchArguments({args.begin() + 1, args.end()}, error);
  if (!req) {
    std::fprintf(stderr, "%s: %s\n\n%s", prog.c_str(), Printable(error).c_str(), UsageText(prog).c_str());
    return kExitUsage;
  }
  if (req->help) {
    Out(UsageText(prog));
    return WithReportStatus(prog, kExitOk);
  }
  return RunBatch(programPath, *req);
}

}  // namespace pcm
