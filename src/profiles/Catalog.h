#pragma once
#include <string>

namespace pcm {

enum class Media { Video, Audio, None };
enum class ProfileClass { Computed, Table, Disc, None };
enum class ButtonKind { Select, Category, Foot, None };

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
};

constexpr int kProfileCount = 132;

// The record of profile n, or nullptr outside 1..132.
const ProfileRecord* ProfileInfo(int n);

// The output extension of a display name: what follows the "*" without the
// closing parenthesis ("...(*.mp4)" gives ".mp4").
std::string ExtensionOfName(const std::string& displayName);

int CategoryOf(int n);
inline bool IsTableProfile(int n) { return n >= 15 && n <= 101; }
inline bool IsDiscProfile(int n) { return n >= 112 && n <= 114; }
inline bool IsComputedProfile(int n) {
  return (n >= 1 && n <= 14) || (n >= 102 && n <= 111) || (n >= 115 && n <= 132);
}

}  // namespace pcm
