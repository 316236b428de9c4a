#pragma once
#include <map>
#include <string>

#include "ui/MulDiv.h"

namespace pcm {

// The named display items the core writes: text lines ("hint", "alltime",
// "profilestext", ...) and progress strips ("convertpos", "playpos",
// "cutplaypos"). The skinned window implements it; before a window exists the
// headless display keeps the values so that they can be read back.
class Display {
 public:
  virtual ~Display() = default;
  virtual void SetText(const std::string& element, const std::string& text) = 0;
  virtual std::string Text(const std::string& element) const = 0;
  // Sets a strip's drawn width in pixels (its right edge = left + width).
  virtual void SetStripWidth(const std::string& element, int pixels) = 0;
  virtual int StripWidth(const std::string& element) const = 0;
  // Loads a picture file into a picture element. The window throws
  // CommandError when the file cannot be loaded; the headless display only
  // records the path.
  virtual void SetPicture(const std::string& element, const std::string& path) { pictures_[element] = path; }
  std::string Picture(const std::string& element) const {
    auto it = pictures_.find(element);
    return it == pictures_.end() ? std::string() : it->second;
  }

 protected:
  std::map<std::string, std::string> pictures_;
};

class HeadlessDisplay : public Display {
 public:
  void SetText(const std::string& element, const std::string& text) override { texts_[element] = text; }
  std::string Text(const std::string& element) const override {
    auto it = texts_.find(element);
    return it == texts_.end() ? std::string() : it->second;
  }
  void SetStripWidth(const std::string& element, int pixels) override { strips_[element] = pixels; }
  int StripWidth(const std::string& element) const override {
    auto it = strips_.find(element);
    return it == strips_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, std::string> texts_;
  std::map<std::string, int> strips_;
};

// Full widths of the progress strips in pixels.
constexpr int kConvertStripWidth = 715;
constexpr int kPlayStripWidth = 210;
constexpr int kCutPlayStripWidth = 294;

// Sets a strip of full width `fullWidth` to fraction p of 0..10000 (clamped).
inline void ShowStrip(Display& display, const std::string& element, int fullWidth, int32_t p) {
  if (p < 0) p = 0;
  if (p > 10000) p = 10000;
  display.SetStripWidth(element, MulDiv(p, fullWidth, 10000));
}

}  // namespace pcm
