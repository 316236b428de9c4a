#pragma once
#include <cstdint>
#include <string>

#include "Arguments.h"
#include "engine/DvdInputForm.h"

namespace adapter {

// A conversion whose input is a DVD row: the row itself and the arguments
// for reading it from standard input instead.
struct DvdPlan {
  pcm::DvdInputForm form;
  // The adapter's arguments with the DVD input replaced by "-f mpeg -i
  // pipe:0", every map replaced by the row's streams chosen by id, the chosen
  // subpicture stream burned into the picture, and the row's time range
  // applied on the output side (a pipe cannot be sought).
  Args args;
  size_t inputAt = 0;  // where in args the options of the piped input begin
};

// The position of the "-i" of a DVD input in args, or 0 when there is none.
size_t FindDvdInput(const Args& args);

// Plans a conversion of the DVD input at args[at] ("-i" at at - 1).
// False with *error when the input cannot be read as a form.
bool PlanDvd(const Args& args, size_t at, DvdPlan* plan, std::string* error);

// ffmpeg's id of a DVD stream: MPEG audio (0xC0...) is found under its
// packet start code 0x1C0...; the other audio and the subpictures keep their
// DVD ids.
int FfmpegStreamId(int dvdId);

// The 2048-byte pack written before the row's first sector when a subtitle
// is burned in: an empty subpicture packet of that stream, shown at pts
// (90 kHz), so that ffmpeg finds the stream even when its first real packet
// comes after the part of the input it looks at before converting.
std::string LeadInPack(int subtitleId, uint64_t scr, uint64_t pts);

// The clock reference and the start time of a VOBU from its first sector
// (a navigation pack). False when the sector is not one.
bool ReadVobuStart(const unsigned char* sector, uint64_t* scr, uint64_t* pts);

// The subpicture colours of a program chain from the bytes of its title
// set's IFO file, as ffmpeg's "-palette" takes them: sixteen "rrggbb"
// separated by commas. Empty when the bytes do not hold that chain.
std::string PaletteFromIfo(const std::string& ifo, int programChain);

}  // namespace adapter
