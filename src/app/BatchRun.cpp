// The headless batch: the same commands the window uses, driven from the
// command line, with a terminal progress display and a final report.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "app/BatchFrontEnd.h"
#include "app/ConsoleOutput.h"
#include "app/ConsoleSystemActions.h"
#include "app/ConsoleUserInterface.h"
#include "core/Application.h"
#include "engine/OutputFiles.h"
#include "profiles/Catalog.h"
#include "queue/Trim.h"
#include "ui/StopSignals.h"

namespace pcm {

namespace {

// Whether the entry's conversion is over, one way or another.
bool Ended(EntryState s) {
  return s == EntryState::Finished || s == EntryState::Failed || s == EntryState::Stopped;
}

// Shows what the list's "Status" column shows: a bar per entry on a
// terminal, otherwise a line when an entry starts and when it ends.
class ProgressPrinter {
 public:
  ProgressPrinter(CoreApp& app, bool terminal, bool quiet) : app_(app), terminal_(terminal), quiet_(quiet) {}

  void RowChanged(int i) {
    if (quiet_ || !app_.list.Valid(i)) return;
    const ListRow& r = app_.list.Row(i);
    Seen& seen = seen_[i];
    if (r.outputFile != seen.output && !r.outputFile.empty()) {
      seen.output = r.outputFile;
      EndBar();
      Out(Label(i) + " converting to " + Printable(r.outputFile) + "\n");
    }
    if (r.state == seen.state && r.progress == seen.progress) return;
    seen.state = r.state;
    seen.progress = r.progress;
    if (r.state == EntryState::Converting) {
      if (terminal_) DrawBar(i, r);
    } else if (Ended(r.state)) {
      EndBar();
      Out(Label(i) + " " + StatusText(r) + "\n");
    }
  }

  // Ends a bar line before other text is printed.
  void EndBar() {
    if (!barShown_) return;
    Out("\r\033[K");
    barShown_ = false;
  }

 private:
  struct Seen {
    EntryState state = EntryState::Waiting;
    int32_t progress = 0;
    std::string output;
  };
  std::string Label(int i) const {
    return "[" + std::to_string(i + 1) + "/" + std::to_string(app_.list.Count()) + "] " +
           Printable(app_.list.Row(i).caption) + ":";
  }
  void DrawBar(int i, const ListRow& r) {
    constexpr int kWidth = 30;
    double pct = r.progress / 100.0;
    int filled = std::clamp(int(pct * kWidth / 100.0 + 0.5), 0, kWidth);
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kWidth - filled), '-');
    Out("\r\033[K" + Label(i) + " [" + bar + "] " + StatusText(r));
    barShown_ = true;
  }

  CoreApp& app_;
  bool terminal_;
  bool quiet_;
  bool barShown_ = false;
  std::map<int, Seen> seen_;
};

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

void PrintReport(CoreApp& app) {
  std::string text = "\n";
  for (int i = 0; i < app.list.Count(); ++i) {
    const ListRow& r = app.list.Row(i);
    std::string status = Ended(r.state) ? StatusText(r) : "Not converted";
    text += status + "  " + (r.outputFile.empty() ? "-" : Printable(r.outputFile)) + "\n";
    text += "    from " + Printable(r.filePath) + "\n";
    if (r.state == EntryState::Failed) {
      text += "    the encoder's last lines:\n";
      for (const auto& line : r.failureLines) text += "    | " + Printable(line) + "\n";
    }
  }
  Out(text);
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

const char* StatFailure(int error) {
  if (error == ENOENT) return "no such file or folder";
  if (error == ELOOP) return "a loop of symbolic links (too many levels of symbolic links)";
  return std::strerror(error);
}

}  // namespace

int RunBatch(const std::string& programPath, const BatchRequest& req) {
  ConsoleUserInterface ui;
  ConsoleSystemActions system;
  CoreApp app({programPath, nullptr, &ui, &system});
  const std::string prog = app.program.Name();
  auto usage = [&](const std::string& message) {
    std::fprintf(stderr, "%s: %s\n\n%s", prog.c_str(), message.c_str(), UsageText(prog).c_str());
    return int(kExitUsage);
  };

  bool interrupted = false;
  StopSignalWatch stopWatch([&] {
    interrupted = true;
    if (app.run.converting) {
      std::fprintf(stderr, "\n%s: stopping the batch\n", prog.c_str());
      app.batch.StopBatch();
    }
  });

  try {
    // Nothing this run changes is saved, and only --when-done chooses what
    // follows the batch. With --profile the saved profile is not selected
    // first, so a damaged block of it does not stand in the way.
    app.settings.readOnly = true;
    app.settings.LoadSettings(!req.profile);
    app.settings.finishAction = kFinishNothing;
    if (req.profile) {
      const ProfileRecord* rec = ProfileInfo(*req.profile);
      if (!rec || !rec->displayName || rec->media == Media::None)
        return usage("there is no profile " + std::to_string(*req.profile) + " (see --list-profiles)");
      app.profiles.SelectProfile(*req.profile);
    }
    std::string error;
    if (req.size && !SelectIndex(app, app.profiles.cb_size, *req.size, "--size", error)) return usage(error);
    if (req.videoQuality &&
        !SelectIndex(app, app.profiles.cb_videobitrate, *req.videoQuality, "--video-quality", error))
      return usage(error);
    if (req.audioQuality &&
        !SelectIndex(app, app.profiles.cb_audiobitrate, *req.audioQuality, "--audio-quality", error))
      return usage(error);
    if (req.channels && !SelectIndex(app, app.profiles.cb_channel, *req.channels, "--channels", error))
      return usage(error);
    if (req.output) {
      // A line break in the name would reach the report and the encoder's
      // command line as further lines.
      Settings::CheckFolderName(*req.output);
      app.settings.outputField = AbsolutePath(*req.output);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", prog.c_str(), e.what());
    return kExitFailed;
  }

  // Without the encoder every probe fails and each file would be called
  // unsupported; a broken installation is named as such instead.
  const std::string& encoder = app.engine.record.EncoderPath;
  if (access(encoder.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s: the encoder %s cannot be run: %s\n", prog.c_str(), encoder.c_str(),
                 std::strerror(errno));
    return kExitFailed;
  }

  // Add every path; a file that cannot be added is reported and counted.
  // Ctrl-C also ends a folder between two of its files, and a slow probe.
  app.listCommands.stopAddingHook = [&] { return interrupted; };
  app.probe.stopHook = [&] { return interrupted; };
  int notAdded = 0;
  for (const auto& given : req.paths) {
    if (interrupted) break;
    std::string path = AbsolutePath(given);
    struct stat st;
    bool found = stat(path.c_str(), &st) == 0;
    if (found && S_ISDIR(st.st_mode)) {
      // A folder that cannot be listed would add nothing without a word.
      if (access(path.c_str(), R_OK | X_OK) != 0) {
        std::fprintf(stderr, "%s: %s: the folder cannot be read: %s\n", prog.c_str(),
                     Printable(given).c_str(), std::strerror(errno));
        ++notAdded;
        continue;
      }
      notAdded += app.listCommands.AddFolderPath(path);
    } else if (!found) {
      std::fprintf(stderr, "%s: %s: %s\n", prog.c_str(), Printable(given).c_str(), StatFailure(errno));
      ++notAdded;
    } else if (!app.listCommands.AddFileWithRetry(path)) {
      ++notAdded;
    }
  }
  if (interrupted) {
    std::fprintf(stderr, "%s: interrupted while adding; nothing was converted\n", prog.c_str());
    return kExitFailed;
  }

  if (req.trim) {
    // Every entry is trimmed as the trim window would; one that ends before
    // the begin is left out.
    for (int i = 0; i < app.list.Count();) {
      ListRow& r = app.list.Row(i);
      if (!ApplyTrim(r, req.trim->first, req.trim->second)) {
        std::fprintf(stderr, "%s: %s: --trim begins at %s, not before its end (%s); left out\n", prog.c_str(),
                     Printable(r.filePath).c_str(), FormatClock(req.trim->first).c_str(),
                     FormatClock(r.trim.total).c_str());
        app.list.RemoveAt(i);
        ++notAdded;
        continue;
      }
      app.list.NotifyRowChanged(i);
      ++i;
    }
    app.RunCommand([&] { app.options.RefreshSizeEstimates(); });
  }

  if (app.list.Count() == 0) {
    std::fprintf(stderr, "%s: nothing to convert\n", prog.c_str());
    return kExitFailed;
  }

  // The entries' output folder, by its bytes (a name that is not UTF-8 is
  // a name like any other). The batch itself creates only its last level,
  // so a missing parent would fail every entry; a file in its place fails
  // the run at once, dry or not.
  std::string outDir = app.options.OutputFolder();
  struct stat outStat;
  const std::string outDirName = outDir.size() > 1 ? outDir.substr(0, outDir.size() - 1) : outDir;
  const bool outDirExisted = lstat(outDirName.c_str(), &outStat) == 0;
  if (outDirExisted && S_ISLNK(outStat.st_mode)) stat(outDirName.c_str(), &outStat);
  if (outDirExisted && !S_ISDIR(outStat.st_mode)) {
    std::fprintf(stderr, "%s: the output folder %s is not a folder; nothing was converted\n", prog.c_str(),
                 Printable(outDirName).c_str());
    return kExitFailed;
  }

  if (req.dryRun) {
    // The names a real run would use: an entry's output name is taken for
    // the entries after it, as its file would be. Nothing is written.
    std::set<std::string> planned;
    auto reserved = [&](const std::string& path) { return planned.count(path) > 0; };
    int failed = 0;
    for (int i = 0; i < app.list.Count(); ++i) {
      if (!app.list.Row(i).checked) continue;
      try {
        intputrec rec = app.batch.FileJobRecord(app.list.Row(i), reserved);
        planned.insert(rec.OutputFile);
        Out(Printable(BuildCommandLine(rec)) + "\n");
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", prog.c_str(), Printable(app.list.Row(i).filePath).c_str(),
                     Printable(e.what()).c_str());
        ++failed;
      }
    }
    // A dry run leaves no trace: the folder made for the output names goes.
    if (!outDirExisted) rmdir(outDir.c_str());
    return WithReportStatus(prog, failed + notAdded > 0 ? kExitFailed : kExitOk);
  }

  std::string folderError;
  if (!MakeFolders(outDir, folderError)) {
    std::fprintf(stderr, "%s: the output folder %s cannot be created; nothing was converted (%s)\n",
                 prog.c_str(), Printable(outDirName).c_str(), Printable(folderError).c_str());
    return kExitFailed;
  }

  ProgressPrinter printer(app, isatty(STDOUT_FILENO) == 1, req.quiet);
  ui.beforePrint = [&] { printer.EndBar(); };
  QObject::connect(&app.list, &ConversionList::rowChanged, [&](int i) { printer.RowChanged(i); });

  bool over = false;
  app.batch.batchOverHook = [&] { over = true; };
  app.RunCommand([&] { app.batch.StartBatch(); });
  // The batch runs on hand-overs from the encoder's workers; after a stop
  // the encoder's end is awaited too, so none is left running.
  while ((app.run.converting && !over) || app.engine.Running())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  printer.EndBar();
  app.batch.batchOverHook = nullptr;

  PrintReport(app);
  bool allFinished = true;
  for (const auto& r : app.list.Rows()) allFinished = allFinished && r.state == EntryState::Finished;
  int status = WithReportStatus(prog, allFinished && notAdded == 0 && !interrupted ? kExitOk : kExitFailed);

  // What the person asked for after the batch; nothing after a Ctrl-C.
  if (interrupted) return status;
  if (req.whenDone == WhenDone::OpenFolder) {
    system.OpenFolder(app.settings.outputField.empty() ? app.settings.outputDirectory
                                                       : app.settings.outputField);
  } else if (req.whenDone == WhenDone::Shutdown &&
             CountDownToShutdown(prog, ShutdownCountdownSeconds(), interrupted)) {
    system.Shutdown();
    if (!system.shutdownError.empty()) {
      std::fprintf(stderr, "%s: %s\n", prog.c_str(), system.shutdownError.c_str());
      return kExitFailed;
    }
  }
  return status;
}

int RunHeadless(const std::string& programPath, const std::vector<std::string>& args) {
  std::string prog = QFileInfo(QString::fromStdString(programPath)).fileName().toStdString();
  SurviveBrokenPipes();
  if (args.empty()) return kExitUsage;
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    Out(UsageText(prog));
    return WithReportStatus(prog, kExitOk);
  }
  if (first == "--version") {
    Out(VersionText(prog));
    return WithReportStatus(prog, kExitOk);
  }
  if (first == "--list-profiles") {
    if (args.size() > 1) {
      std::fprintf(stderr, "%s: --list-profiles takes no arguments\n\n%s", prog.c_str(),
                   UsageText(prog).c_str());
      return kExitUsage;
    }
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
    std::fprintf(stderr, "%s: %s\n\n%s", prog.c_str(), error.c_str(), UsageText(prog).c_str());
    return kExitUsage;
  }
  if (req->help) {
    Out(UsageText(prog));
    return WithReportStatus(prog, kExitOk);
  }
  return RunBatch(programPath, *req);
}

}  // namespace pcm
