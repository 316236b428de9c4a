#pragma once
#include <string>
#include <vector>

#include "ui/CommandMap.h"

namespace pcm {

// What the profile picker needs from the widgets: pictures, panels (by object
// name, "pl_main" being the category column) and the backdrop behind them.
class PickerView {
 public:
  virtual ~PickerView() = default;
  // Loads the normal or highlighted picture of button btim_<n>; throws
  // CommandError when the file cannot be loaded.
  virtual void LoadButtonPicture(int n, bool highlighted) = 0;
  virtual void LoadCategoryPicture(int k, bool highlighted) = 0;
  virtual void SetVisible(const std::string& panel, bool visible) = 0;
  virtual bool Visible(const std::string& panel) const = 0;
  virtual void Move(const std::string& panel, int left, int top) = 0;
  virtual Rect Geometry(const std::string& panel) const = 0;
  virtual void Raise(const std::string& panel) = 0;
  // Top of button btim_<n> on its panel.
  virtual void PlaceButton(int n, int top) = 0;
  virtual void ShowBackdrop(const Rect& r) = 0;
  virtual void HideBackdrop() = 0;
};

// The hover and page rules of the profile picker. The highlighted button is
// kept apart from the current profile: pointing at a button must not change
// what gets converted, only a click does.
class PickerState {
 public:
  PickerState(PickerView& view, const VariantLayout& layout, bool audioBranded, bool branded)
      : view_(view), layout_(layout), audioBranded_(audioBranded), branded_(branded) {}

  static const std::vector<std::string>& Panels();  // the nineteen panels
  static const char* CategoryPanel(int k, bool firstPage);
  static const char* CategoryPicture(int k);  // file name, e.g. "img_ipod.bmp"
  static const char* SubPanelOf(int parent);  // pl_avi for 2, ...; nullptr otherwise
  static int ParentOf(int n);                 // 2 for 102..109, ...; 0 otherwise
  static bool Hoverable(int n);               // reacts to the pointer
  static bool Selectable(int n);              // a click applies profile n
  // What button n says on its face, in the catalog's form "BADGE-Title(*.ext)":
  // the display name of the profile a click applies, the family of the
  // sub-panel a parent opens, and nothing for a button that does neither
  // (a filler, a foot, a second copy of a profile without a click action).
  static std::string ButtonCaption(int n);

  void HideProfilePanels();
  // Start-up: panels hidden, every button showing its normal picture.
  void StartUp();
  void RestoreButton(int x);
  void PointButton(int n);
  void PointCategory(int k);
  // Opens the first audio page in place of the category column ("profiles").
  void ShowFirstAudioPage();
  // Opens the category column with the highlighted category's panel.
  void ShowCategories();
  // Image94, Image93, Image2, Image5; false for other names.
  bool TurnPage(const std::string& picture);
  // A click on button n: hides the panels; true when profile n must be
  // applied. A parent keeps its sub-panel open (it opens what it names).
  bool ClickButton(int n);

  int highlightedButton = 17;
  int highlightedCategory = 1;
  bool videoPage = true;
  bool audioPage = true;

 private:
  void PlaceAudioPage(const char* panel, int left, int first, int last);

  PickerView& view_;
  VariantLayout layout_;
  bool audioBranded_;
  bool branded_;
};

}  // namespace pcm
