#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The input the encoder adapter reads for a DVD row: which sectors of which
// title set to stream, which audio and subpicture streams to keep, and which
// part of the row to convert. It travels as one argument in the adapter's own
// form, "pcmdvd:" followed by percent-encoded fields, so that any folder name
// survives and the argument is never taken for a file or an option.
// Plain C++: the core and the adapter both use it.
namespace pcm {

struct DvdSectorRange {
  uint32_t first = 0;  // 2048-byte blocks from the start of the title set's VOBs
  uint32_t last = 0;   // inclusive
  bool operator==(const DvdSectorRange&) const = default;
};

struct DvdInputForm {
  std::string folder;  // the folder holding the IFO and VOB files
  int titleSet = 1;    // 1..99
  int programChain = 1;
  std::vector<DvdSectorRange> sectors;  // read in this order
  int audioId = 0;       // MPEG-PS id as the disc names it (0x80 AC-3, 0xC0 MPEG, ...); 0 = no audio
  int subtitleId = 0;    // 0x20..0x3f, burned into the picture; 0 = none
  double trimBegin = 0;  // seconds from the start of the row
  double trimEnd = 0;    // seconds from the start of the row; 0 = to the row's end
  bool operator==(const DvdInputForm&) const = default;
};

inline constexpr const char* kDvdInputPrefix = "pcmdvd:";

// True when text is meant as a DVD input (it starts with the prefix); it may
// still fail to decode.
bool IsDvdInput(const std::string& text);

std::string EncodeDvdInput(const DvdInputForm& form);

// Reads a form back. On failure returns false and says why in *error
// (one line of text); *form is then unspecified.
bool DecodeDvdInput(const std::string& text, DvdInputForm* form, std::string* error);

}  // namespace pcm
