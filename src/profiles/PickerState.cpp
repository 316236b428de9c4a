#include "profiles/PickerState.h"

#include "profiles/Catalog.h"

namespace pcm {

namespace {

struct Category {
  const char* firstPage;
  const char* secondPage;
  const char* picture;
};

const Category kCategories[13] = {
    {"pl_video1", "pl_video2", "img_video1.bmp"},
    {"pl_audio1", "pl_audio2", "img_audio1.bmp"},
    {"pl_ipod", "pl_ipod", "img_ipod.bmp"},
    {"pl_iphone", "pl_iphone", "img_iphone.bmp"},
    {"pl_gphone", "pl_gphone", "img_gphone.bmp"},
    {"pl_appletv", "pl_appletv", "img_appletv.bmp"},
    {"pl_psp", "pl_psp", "img_psp.bmp"},
    {"pl_xbox", "pl_xbox", "img_xbox.bmp"},
    {"pl_phone", "pl_phone", "img_phone.bmp"},
    {"pl_win", "pl_win", "img_win.bmp"},
    {"pl_pmp", "pl_pmp", "img_pmp.bmp"},
    {"pl_hd", "pl_hd", "img_hd.bmp"},
    {"pl_animation", "pl_animation", "img_animation.bmp"},
};

const char* const kSubPanels[4] = {"pl_avi", "pl_mpeg", "pl_mp4", "pl_mkv"};

bool IsParent(int n) { return n >= 2 && n <= 5; }

}  // namespace

const std::vector<std::string>& PickerState::Panels() {
  static const std::vector<std::string> panels = {
      "pl_video1",    "pl_video2", "pl_audio1", "pl_audio2", "pl_ipod", "pl_iphone", "pl_gphone",
      "pl_appletv",   "pl_psp",    "pl_xbox",   "pl_phone",  "pl_win",  "pl_pmp",    "pl_hd",
      "pl_animation", "pl_avi",    "pl_mpeg",   "pl_mp4",    "pl_mkv"};
  return panels;
}

const char* PickerState::CategoryPanel(int k, bool firstPage) {
  if (k < 1 || k > 13) return nullptr;
  return firstPage ? kCategories[k - 1].firstPage : kCategories[k - 1].secondPage;
}

const char* PickerState::CategoryPicture(int k) {
  if (k < 1 || k > 13) return nullptr;
  return kCategories[k - 1].picture;
}

const char* PickerState::SubPanelOf(int parent) {
  return IsParent(parent) ? kSubPanels[parent - 2] : nullptr;
}

int PickerState::ParentOf(int n) {
  if (n >= 102 && n <= 109) return 2;
  if (n >= 110 && n <= 117) return 3;
  if (n >= 118 && n <= 124) return 4;
  if (n >= 125 && n <= 131) return 5;
  return 0;
}

bool PickerState::Hoverable(int n) {
  const ProfileRecord* p = ProfileInfo(n);
  return p && (p->displayName != nullptr || n == 109 || n == 124);
}

bool PickerState::Selectable(int n) {
  const ProfileRecord* p = ProfileInfo(n);
  return p && p->button == ButtonKind::Select;
}

std::string PickerState::ButtonCaption(int n) {
  // The parents' own profiles (DivX, XviD, MPEG-4, AVC) are reached on the
  // sub-panels; their faces name the family the sub-panel holds.
  static const char* const kFamilies[4] = {"AVI-AVI Movies(*.avi)",
                                           "MPEG-MPEG Movies and Discs(*.mpg *.mpeg *.vob *.ts)",
                                           "MP4-MP4 Videos(*.mp4)", "MKV-MKV Movies(*.mkv)"};
  if (IsParent(n)) return kFamilies[n - 2];
  const ProfileRecord* p = ProfileInfo(n);
  return Selectable(n) && p->displayName ? p->displayName : "";
}

void PickerState::HideProfilePanels() {
  view_.HideBackdrop();
  view_.SetVisible("pl_main", false);
  for (const auto& p : Panels()) view_.SetVisible(p, false);
}

void PickerState::StartUp() {
  HideProfilePanels();
  for (int x = 1; x <= kProfileCount; ++x) RestoreButton(x);
  for (int k = 1; k <= 13; ++k) view_.LoadCategoryPicture(k, false);
}

void PickerState::RestoreButton(int x) {
  if (view_.Visible("pl_main")) view_.ShowBackdrop(view_.Geometry(IsParent(x) ? "pl_mpeg" : "pl_video2"));
  if (IsParent(x)) view_.SetVisible(SubPanelOf(x), false);
  if (x >= 1 && x <= kProfileCount) view_.LoadButtonPicture(x, false);
}

void PickerState::PointButton(int n) {
  if (IsParent(n)) {
    if (n == highlightedButton) return;
    // Leaving a button of a sub-panel: it goes out, and its parent stands
    // for it.
    if (int parent = ParentOf(highlightedButton)) {
      view_.LoadButtonPicture(highlightedButton, false);
      highlightedButton = parent;
    }
    // The button lit before goes out first, closing its sub-panel: coming
    // back to n from its own sub-panel (or after a profile of it was
    // chosen) leaves that sub-panel open.
    RestoreButton(highlightedButton);
    Rect first = view_.Geometry("pl_video1");
    const char* sub = SubPanelOf(n);
    view_.Move(sub, first.left + layout_.subPanelOffset, first.top);
    view_.SetVisible(sub, true);
    view_.Raise(sub);
    view_.LoadButtonPicture(n, true);
    highlightedButton = n;
    // The preview's panel is left to the preview: shown from here, it stood
    // over the list's rows with nothing playing.
    return;
  }
  if (!Hoverable(n) || n == highlightedButton) return;
  // Moving onto the open sub-panel keeps its parent lit: the sub-panel's
  // first button stands in for the parent as the one to restore.
  static const int firstOfSubPanel[4] = {102, 110, 118, 125};
  if (int parent = ParentOf(n); parent && parent == highlightedButton)
    highlightedButton = firstOfSubPanel[parent - 2];
  RestoreButton(highlightedButton);
  view_.LoadButtonPicture(n, true);
  highlightedButton = n;
}

void PickerState::PointCategory(int k) {
  if (k < 1 || k > 13 || k == highlightedCategory) return;
  if (highlightedCategory >= 1 && highlightedCategory <= 13) {
    view_.LoadCategoryPicture(highlightedCategory, false);
    view_.SetVisible(CategoryPanel(highlightedCategory, true), false);
    view_.SetVisible(CategoryPanel(highlightedCategory, false), false);
  }
  view_.ShowBackdrop(view_.Geometry("pl_video2"));
  for (const char* sub : kSubPanels) view_.SetVisible(sub, false);
  view_.LoadCategoryPicture(k, true);
  highlightedCategory = k;
  bool first = k == 1 ? videoPage : k == 2 ? audioPage : true;
  view_.SetVisible(CategoryPanel(k, first), true);
}

void PickerState::PlaceAudioPage(const char* panel, int left, int first, int last) {
  Rect r = view_.Geometry(panel);
  view_.Move(panel, left, r.top);
  static const int tops[7] = {-1, 52, 100, 148, 196, 244, 292};
  for (int n = first; n <= last; ++n) view_.PlaceButton(n, tops[n - first]);
}

void PickerState::ShowFirstAudioPage() {
  PlaceAudioPage("pl_audio1", layout_.audioPageLeft, 15, 21);
  HideProfilePanels();
  view_.SetVisible("pl_audio1", true);
  view_.SetVisible("pl_audio2", false);
}

void PickerState::ShowCategories() {
  HideProfilePanels();
  // Every category page back in its place beside the column; the audio
  // pages may have been moved by "profiles" or the page pictures.
  for (size_t i = 0; i + 4 < Panels().size(); ++i)
    view_.Move(Panels()[i], layout_.panelLeft, layout_.panelTop);
  view_.Move("pl_main", layout_.categoryLeft, layout_.categoryTop);
  view_.SetVisible("pl_main", true);
  view_.ShowBackdrop(view_.Geometry("pl_video2"));
  int k = highlightedCategory >= 1 && highlightedCategory <= 13 ? highlightedCategory : 1;
  highlightedCategory = k;
  for (int c = 1; c <= 13; ++c) view_.LoadCategoryPicture(c, c == k);
  bool first = k == 1 ? videoPage : k == 2 ? audioPage : true;
  view_.SetVisible(CategoryPanel(k, first), true);
}

bool PickerState::TurnPage(const std::string& picture) {
  if (picture == "Image94") {
    videoPage = false;
    view_.SetVisible("pl_video2", true);
    view_.SetVisible("pl_video1", false);
  } else if (picture == "Image93") {
    view_.SetVisible("pl_video1", true);
    view_.SetVisible("pl_video2", false);
    videoPage = true;
  } else if (picture == "Image2") {
    PlaceAudioPage("pl_audio2", 94, 22, 26);
    HideProfilePanels();
    view_.SetVisible("pl_audio2", true);
    view_.SetVisible("pl_audio1", false);
  } else if (picture == "Image5") {
    if (!audioBranded_) {
      view_.SetVisible("pl_audio1", true);
      view_.SetVisible("pl_audio2", false);
      audioPage = true;
    } else {
      Rect r = view_.Geometry("pl_audio1");
      view_.Move("pl_audio1", branded_ ? 88 : 53, r.top);
      HideProfilePanels();
      view_.SetVisible("pl_audio1", true);
      view_.SetVisible("pl_audio2", false);
    }
  } else {
    return false;
  }
  return true;
}

bool PickerState::ClickButton(int n) {
  if (IsParent(n)) {
    PointButton(n);
    return false;
  }
  HideProfilePanels();
  return Selectable(n);
}

}  // namespace pcm
