#pragma once
#include <QObject>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dvd/IfoReader.h"
#include "engine/DvdRow.h"
#include "queue/ListRow.h"

namespace pcm {

struct Toriginalinfo;

class ConversionList;
class Notifier;
class OptionAssembly;
struct RunState;

// What a path is to the DVD layer: an IFO file, a DVD folder (a VIDEO_TS
// folder, or one holding IFO files or a VIDEO_TS folder), or neither. The
// window's drops and start paths and the front end's paths ask the same.
enum class DvdPath { None, IfoFile, Folder };
DvdPath DvdPathOf(const std::string& path);

// Turns a DVD (a drive, a folder holding VIDEO_TS, the VIDEO_TS folder
// itself, or chosen IFO files) into rows of the conversion list: one row per
// title, and in the chapter view one more per chapter below its title. Keeps
// each view's check marks and shows the selected row's streams in the two
// stream selectors. Lives on the main thread.
class DvdSource : public QObject {
  Q_OBJECT
 public:
  // What the DVD commands use: the list they fill, the option assembly for
  // the size estimate, the run flags and the notifier.
  struct Parts {
    ConversionList& list;
    const OptionAssembly& options;
    RunState& run;  // its title view flag is the list's view
    Notifier& notifier;
  };
  // Reads one IFO file; null when it cannot be read.
  using IfoOpener = std::function<ifo::Handle(const std::string& path)>;
  // `opener` defaults to the IFO reader; a test may give records of its own.
  explicit DvdSource(const Parts& parts, IfoOpener opener = {});

  // "Add DVD": folder chooser, then OpenFolderPath.
  void OpenDvdFolder();
  // "Add IFO": file chooser, then OpenIfoPaths.
  void OpenIfoFiles();
  // "Chapters": switches between the title view and the chapter view.
  void ToggleChapterView();
  // "Select All" / "Unselect ALL" of the DVD menu; the current view keeps
  // the marks.
  void CheckAll();
  void UncheckAll();
  // The DVD end of a click on the list: records the check marks of the
  // current view and shows the selected row's streams.
  void ListClickedEnd();
  // The selectors' change handlers: position in the audio selector (0 = the
  // first stream) and in the subtitle selector (0 = no subtitle). They change
  // the first selected row, also during a conversion.
  void AudioChanged(int position);
  void SubtitleChanged(int position);

  // Adds what a folder holds after the list's rows, waiting first when it lies
  // on an optical drive that may still spin up; message 33 when it holds no
  // title set's IFO file or none of its titles can be listed. Returns
  // whether an IFO file was found.
  bool OpenFolderPath(const std::string& folder);
  // Adds the titles of the given IFO files (any name, the menu file too)
  // after the list's rows; message 34 when one of them gives no rows, and
  // the rest are then not read. Files listed already are not listed again.
  // Returns false when a file was refused.
  bool OpenIfoPaths(const std::vector<std::string>& paths);
  // A path dropped on the window or named at the start: an IFO file opens
  // as Add IFO would, a folder holding a VIDEO_TS folder or IFO files (any
  // letter case) as Add DVD would. False, with nothing done, for any other
  // path, which is then added as a plain file or folder.
  bool OpenDropped(const std::string& path);
  // Appends the rows of a folder or of one IFO file to the list as it is,
  // without a message (the batch front end adds DVDs beside files); a file
  // listed already is skipped.
  bool AddFolderPath(const std::string& folder);
  void AddIfoPath(const std::string& ifoPath);

  // Lists the IFO files of a folder and of a VIDEO_TS folder in it (any
  // letter case; other subfolders are not searched); the menu file
  // VIDEO_TS.IFO is skipped. Names are taken in byte order. True when at
  // least one IFO file was found, even one that gives no rows.
  bool ScanForIfoFiles(const std::string& folder);
  // The row covering most sectors (the first on ties), 0 when none.
  int SelectLongestEntry() const;
  // The main title among rows [from, to): the DVD row with the most
  // sectors, the first of equals; -1 when there is no DVD row.
  int LongestEntry(int from, int to) const;
  // Fills the selectors for a DVD row; for any other row, or none, they
  // show what they show at the start ("No Audio", no subtitle).
  void ShowEntryStreams(int row);

  bool TitleView() const;
  // The IFO files listed, in order.
  const std::vector<std::string>& Files() const { return files_; }

  // A title set of the listing that could not be read: its IFO file (a
  // damaged file whose backup is damaged too, or something other than a
  // file in its place) and a sentence saying so. Its titles are left out,
  // and it keeps one title number, so the titles after it keep the names
  // they have when it can be read and lists one title.
  // A title set that can be read but whose IFO file and backup both have a
  // damaged title is listed without it, named here too; the title keeps its
  // number.
  struct Unreadable {
    std::string ifoPath;
    std::string why;
    int titles = 1;  // the title numbers it keeps
  };
  // Those of the current listing, in order; the window shows them on its
  // hint line, the front end names them.
  const std::vector<Unreadable>& UnreadableSets() const { return unreadable_; }

  // What the two selectors show.
  struct Selectors {
    std::vector<std::string> audio{"No Audio"};
    int audioIndex = 0;
    std::vector<std::string> subtitles{"No Subtitle"};
    int subtitleIndex = 0;
  };
  const Selectors& selectors() const { return selectors_; }

  // The list's full click reaction (its general steps, then ListClickedEnd
  // in DVD mode); set by the application. Without it only ListClickedEnd
  // runs.
  std::function<void()> listClickedHook;
  // Called after a change of the listing's state that the list does not
  // announce (files, view, marks, chosen streams); the list store writes.
  std::function<void()> changedHook;
  // Set by the window: disables (false) and enables the list while a folder
  // is scanned, since events are run meanwhile.
  std::function<void(bool)> listEnabledHook;

  // The listing's state kept with the saved list.
  DvdViewState ViewState() const;
  // Takes back the DVD rows of a restored list and the listing's state
  // stored with them. A row whose IFO file is gone stays, marked missing; a
  // row the disc no longer lists as it was stored (another disc in its
  // place, or values no listing gives) is left out. Returns how many rows
  // were left out.
  int AdoptRestored(std::vector<ListRow>& rows, const DvdViewState& view);

  // Frame size from a video description: its second word, "" without one.
  static std::string FrameSize(const std::string& videoDescription);
  // The row's picture from the IFO's video description: its stored size
  // and the shape it is shown in (4:3 or 16:9).
  static void ApplyVideoDescription(Toriginalinfo& entry, const std::string& videoDescription);

 signals:
  void selectorsChanged();

 private:
  // The DVD rows in the list, file rows not counted.
  int DvdRowCount() const;
  // Drops the files none of whose rows is listed any more.
  void ForgetUnlisted();
  // The set of files changed: the marks stored for the other view are void.
  void FilesChanged();
  // The current view's marks taken from its DVD rows, in order.
  void RecordChecks();
  void ListFile(const std::string& ifoPath, bool chapters);
  // The rows an IFO file gives, unfinished (AppendRow completes them); the
  // titles are numbered on from `listed` rows. Empty when it cannot be read,
  // which sets *unreadable when given. A damaged title keeps its number;
  // `lost` gets each one's program chain and number.
  struct LostTitle {
    int chain = 0;
    int number = 0;
  };
  std::vector<ListRow> RowsOfFile(const std::string& ifoPath, bool chapters, int listed,
                                  bool* unreadable = nullptr, std::vector<LostTitle>* lost = nullptr) const;
  // The title numbers the unreadable title sets and titles keep.
  int UnreadableTitles() const;
  // Says on the hint line which title sets could not be read.
  void ShowUnreadable();
  // Records a title set that could not be read, with why.
  void NoteUnreadable(const std::string& ifoPath);
  // Records the damaged titles of a title set that was listed without them.
  void NoteLostTitles(const std::string& ifoPath, const std::vector<LostTitle>& lost);
  // Whether a stored row is one the disc lists now; `listed` caches each
  // file's listing.
  bool StillOnDisc(const DvdRowData& dvd, std::map<std::string, std::vector<ListRow>>& listed) const;
  void Changed() {
    if (changedHook) changedHook();
  }
  // A listed row made whole: its time, its frame size column, Ready,
  // checked, its size estimate.
  ListRow Completed(ListRow row) const;
  // After rows [from, to) were listed: records the view's marks, selects
  // their main title and runs the click reaction.
  void ShowListed(int from, int to);
  // The list's click reaction for the row selected now.
  void ShowClicked();
  std::optional<std::vector<bool>>& CurrentChecks();
  bool Busy();

  Parts parts_;
  IfoOpener opener_;
  std::vector<std::string> files_;
  // The DVD rows of the view not shown, by their part of the disc, with
  // everything chosen for them.
  std::map<std::string, ListRow> kept_;
  // A file of the folder being added was listed already.
  bool sawListed_ = false;
  std::optional<std::vector<bool>> titleChecks_;
  std::optional<std::vector<bool>> chapterChecks_;
  Selectors selectors_;
  bool listing_ = false;  // a folder is being scanned
  std::vector<Unreadable> unreadable_;
};

}  // namespace pcm
