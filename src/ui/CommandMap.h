#pragma once
#include <map>
#include <string>
#include <vector>

namespace pcm {

class ProgramInfo;

// Everything the main window's dispatcher decides by name: which command a
// click, a menu item or an image button runs, which message a hover shows,
// which menu an element pops up and which controls are enabled. Plain data
// and functions, so the rules can be checked without a window.
enum class Command {
  None,
  AddFiles,
  AddFolder,
  Properties,
  RunBackground,
  Exit,
  Remove,
  Clear,
  Rename,
  CheckAll,
  UncheckAll,
  Convert,
  PauseOrContinue,
  StopConvert,
  Settings,
  OpenHelpAddress,  // support address
  OpenContactPage,  // maker's contact page
  OpenAboutPage,    // maker's about page
  OpenWebAddress,   // web address of the product record
  About,            // about window
  AddDvd,
  AddIfo,
  DvdCheckAll,
  DvdUncheckAll,
  ShowProfiles,
  ToggleChapterView,
  Browse,
  OpenOutput,
  PopupMenu,
  Cutter,
  TrimPlay,
  StopPreview,
  TogglePause,
  TrimBegin,
  TrimEnd,
  TrimBack,
  TrimForward,
  CutClose,
  StartPreview,
  StepBack,
  StepForward,
  OpenTrim,
  Snapshot,
};

// Click dispatch on a skin element; None for names without a command.
Command ClickCommand(const std::string& element);

// Message number shown on the hint line when the pointer is over an element:
// 1..24 for the named elements, 25 for any other.
int HoverMessage(const std::string& element);

struct MenuItem {
  std::string caption;
  Command command;
};

struct MenuPopup {
  std::string menu;  // object name of the menu
  int x = 0;         // offset from the window's top-left corner
  int y = 0;
};

// The menu an element of the menu bar pops up; menu empty for other names.
MenuPopup PopupFor(const std::string& element, bool branded);

// The items of a menu, captions as shown. The about item of zm_pop_help gets
// its caption from AboutItemCaption.
const std::vector<MenuItem>& MenuItems(const std::string& menu);
std::vector<std::string> MenuNames();
std::string AboutItemCaption(const ProgramInfo& program);

struct ImageButton {
  std::string name;
  std::string hint;
  Command command;
};
const std::vector<ImageButton>& ImageButtons();

// One control's state from the command state table.
struct ControlState {
  bool enabled = true;
  bool visible = true;
};

// The command state table, keyed by command. Menu items and image buttons
// look up their command; the two may differ (the properties button answers
// without a selection, the menu item does not). A command the table does not
// list is enabled.
struct CommandStateTable {
  std::map<Command, ControlState> menuItems;
  std::map<Command, ControlState> buttons;
  bool playBarsShown = false;  // play_bar and cut_play_bar
  ControlState ForMenu(Command c) const;
  ControlState ForButton(Command c) const;
};

// The columns no selection, selection, previewing, converting apply in that
// order, later ones overriding.
CommandStateTable CommandStates(bool anySelected, bool previewing, bool converting);

// The command of an image button by its object name; None for other names.
Command ButtonCommand(const std::string& name);

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// What the four window layouts differ in.
struct VariantLayout {
  bool previewButtons = false;
  bool streamBoxes = false;
  Rect audioBox;
  Rect subtitleBox;
  std::string firstColumnCaption;
  bool checkBoxes = true;
  int categoryLeft = 0, categoryTop = 0;
  int panelLeft = 0, panelTop = 0;
  int subPanelOffset = 170;
  int audioPageLeft = 94;  // where "profiles" places the first audio page
};
VariantLayout LayoutFor(const ProgramInfo& program);

}  // namespace pcm
