#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "queue/FolderTree.h"

namespace pcm {

class ConversionList;
class MediaProbe;
class Notifier;
class OptionAssembly;
class ProgramInfo;
class Settings;
struct ListRow;
struct ProbeResult;
struct RunState;

// The commands that fill and edit the conversion list. Each is a public
// method taking what the window gives it; every rule lives here so that the
// window, the batch front end and the tests drive the same code.
class ListCommands {
 public:
  // What the commands use: the list they edit, the probe that describes an
  // added file, the option assembly for the size estimate, the settings
  // (whether a folder keeps its subfolders), the run flags and program
  // variant, and the notifier for questions and refusals.
  struct Parts {
    ConversionList& list;
    MediaProbe& probe;
    const OptionAssembly& options;
    const Settings& settings;
    const RunState& run;
    const ProgramInfo& program;
    Notifier& notifier;
  };
  explicit ListCommands(const Parts& parts);

  // The file chooser's filter as the system writes it, and in Qt syntax
  // with the first filter taking every media extension (MediaExtensions).
  static const char* const kOpenFilter;
  static std::string ChooserFilter();
  // Rewrites "Desc|*.a;*.b;|Desc2|*.c" into "Desc (*.a *.b);;Desc2 (*.c)";
  // "*.*" becomes "*" (on Linux files need not have a dot).
  static std::string QtFilterFromPairs(const std::string& filter);

  // The entry name: the file name without its last extension.
  static std::string EntryName(const std::string& path);

  // "Add File(s)...": file chooser, then each chosen file.
  void AddFiles();
  // "Add Folder": folder chooser, then the folder's supported files.
  void AddFolder();
  // Adds the media files of one folder in byte order of their names. With
  // the settings' keepFolders its subfolders are taken too, every folder in
  // name order, and each row keeps its folder below the added one as its
  // output subfolder. Returns how many files could not be added.
  int AddFolderPath(const std::string& folder);
  // Probes the file and appends one row, written to `subfolder` below the
  // output folder; false leaves the list as it was. A fault of the profile
  // file is raised as a ProfileFileError.
  bool AddFileEntry(const std::string& path, const std::string& subfolder = {});
  // Adds the files in the given order, as AddFileWithRetry adds each. They
  // are probed up to probesAtOnce at a time, a group at a time, and their
  // rows follow in the given order; a fault of the profile file shows at
  // the first row, after one group of probes.
  // stopAddingHook is asked before each file; a fault of the profile file
  // ends the adding. Returns how many of the files tried were not added;
  // `tried`, when given, is set to how many were tried.
  int AddFileList(const std::vector<std::string>& files, size_t* tried = nullptr);
  // The same for files found in folders, each row with its subfolder. A file
  // unprobedSkipHook names an output for is not probed: its row is added
  // unchecked, skipped, and counts as added.
  int AddFileList(const std::vector<FoundFile>& files, size_t* tried = nullptr);
  // AddFileEntry, once more on failure, then the "<path> is not support!"
  // notice with the reason on a second line, or the encoder's own reason
  // when it could not describe anything; a fault of the profile file's
  // current block is shown as such instead.
  // Returns whether the file was added.
  bool AddFileWithRetry(const std::string& path);

  // Files and folders dropped on the window: a file is added as Add Files
  // adds a chosen one, a folder by the folder rule. Refused while converting
  // or previewing with the buttons' messages. In the DVD variant each path
  // is first offered to dropDvdHook.
  void AddDropped(const std::vector<std::string>& paths);

  void RemoveSelected();
  void ClearList();

  // Rename in place: BeginRename returns the caption to edit (nothing when no
  // row is selected) and remembers the row; EndRename applies a non-empty
  // text to that row.
  std::optional<std::string> BeginRename();
  void EndRename(const std::string& text);
  // Closes an open rename and keeps the old caption; a later EndRename does
  // nothing.
  void CancelRename() { renameRow = -1; }

  void CheckAll();
  void UncheckAll();
  void ListClicked();

  // Set by the window: makes the list visible; gives it the input focus.
  std::function<void()> showListHook;
  std::function<void()> focusListHook;
  // A dropped path in the DVD variant: returns true when it was a DVD folder
  // or an IFO file and was opened as Add DVD / Add IFO would; false leaves
  // it to the file and folder rules. Attached by the DVD entries.
  std::function<bool(const std::string& path)> dropDvdHook;
  // DVD mode end of ListClicked, attached by the DVD entries.
  std::function<void()> dvdClickedHook;
  // Asked for each file before it is probed, with a row holding only its
  // caption, path and subfolder: the output file that makes the batch skip
  // it, or "". Set where skipping needs no probe (the front end).
  std::function<std::string(const ListRow&)> unprobedSkipHook;
  // When set, AddFileList adds each file as soon as it is described (the
  // probes of the files after it run on meanwhile) and calls this with the
  // new row's place, also for a row skipped without a probe; one probe run
  // describes the files at a time. A batch can then convert the first files
  // while the others are still described.
  std::function<void(int pos)> rowAddedHook;
  // Asked before each file of a folder is added; true ends the adding there,
  // so a stop asked for during a long folder takes effect at once. (A stop
  // during a probe is the probe's stopHook; such a file is not retried.)
  std::function<bool()> stopAddingHook;

  // The notice for an add asked for while files are still being added.
  static constexpr const char* kStillAdding =
      "Files are still being added; please wait until they are in the list.";

  // How many files are described at the same time while adding.
  int probesAtOnce;
  // While adding, events run at most this often between rows.
  static constexpr int kEventsEveryMs = 40;

  // Whether files are being added now (a probe may be running events).
  bool AddingFiles() const { return adding_ > 0; }

  // Row remembered by BeginRename, -1 when no rename is open.
  int renameRow = -1;

 private:
  void SelectFirstWhenNone();
  bool RefusedWhileAdding();
  // Appends the row for a file its probe described; false when the values
  // are not usable.
  bool AddDescribedEntry(const FoundFile& file, const ProbeResult& p);
  // AddFileWithRetry with the first try's description already at hand
  // (nullptr: the first try probes on its own).
  bool AddWithRetry(const FoundFile& file, const ProbeResult* described);
  // Appends a row, which becomes the current position unless a batch
  // converts; tells rowAddedHook.
  void AppendRow(ListRow row);
  // The row of a file skipped without a probe, before it is added.
  static ListRow UnprobedRow(const FoundFile& file);
  // Counts the adds in progress for as long as it lives.
  struct Adding {
    explicit Adding(int& n) : n_(n) { ++n_; }
    ~Adding() { --n_; }
    Adding(const Adding&) = delete;
    Adding& operator=(const Adding&) = delete;
    int& n_;
  };
  int adding_ = 0;
  // Counts the clears: an add that sees a clear after its start stops, so
  // the emptied list is not filled again.
  uint64_t clears_ = 0;
  Parts parts_;
  bool profileFault_ = false;  // the last file failed on the profile file
  std::string refusal_;        // why the last file could not be added, a sentence
};

}  // namespace pcm
