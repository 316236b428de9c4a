#pragma once
#include <string>

namespace pcm {

enum class Media { Video, Audio, None };
enum class ProfileClass { Computed, Table, Disc, None };
enum class ButtonKind { Select, Category, Foot, None };
// What sets a profile apart within its class: the disc formats, and the
// computed video profiles with a smaller or larger rate per line.
enum class Variant { Plain, Mini, Excellent, Vcd, Svcd, Dvd };

// One output profile of the compiled-in catalog.
struct ProfileRecord {
  int number;               // 1..132
  int category;             // 1..13
  const char* panel;        // picker panel object name, e.g. "pl_video1"
  int place;                // position on the panel from the top, 1-based
  const char* displayName;  // UTF-8; nullptr for the feet of the panels
  Media media;
  ProfileClass cls;
  ButtonKind button;
  Variant variant;
};

constexpr int kProfileCount = 132;

// The record of profile n, or nullptr outside 1..132.
const ProfileRecord* ProfileInfo(int n);

// The output extension of a display name: what follows the "*" without the
// closing parenthesis ("...(*.mp4)" gives ".mp4").
std::string ExtensionOfName(const std::string& displayName);

// The category, class and variant of profile n as the catalog gives them;
// 0, None and Plain outside 1..132. A panel's foot has the class of the
// profiles on its panel.
int CategoryOf(int n);
ProfileClass ClassOf(int n);
Variant VariantOf(int n);
inline bool IsTableProfile(int n) { return ClassOf(n) == ProfileClass::Table; }
inline bool IsDiscProfile(int n) { return ClassOf(n) == ProfileClass::Disc; }
inline bool IsComputedProfile(int n) { return ClassOf(n) == ProfileClass::Computed; }

// A disc format's target option and its fixed total rate in kbit/s; empty
// and 0 for a profile that is no disc format.
struct DiscFormat {
  const char* target = "";
  int totalKbps = 0;
};
DiscFormat DiscFormatOf(int n);

}  // namespace pcm
