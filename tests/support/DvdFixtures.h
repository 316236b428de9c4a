#pragma once
#include <string>

namespace pcmtest {

// DVD-Video folders made at test time with ffmpeg, spumux and dvdauthor,
// each made once per test program. Every function returns the folder that
// holds VIDEO_TS, or "" when the tools failed.
//
// The standard disc:
// - title set 1, PAL 720x576, audio "en" AC-3 0x80 (440 Hz) and "de" AC-3
//   0x81 (880 Hz), subpicture "en" 0x20:
//   - title 1: 9 s, chapters at 0, 3 and 6 s (each well over 1000 sectors);
//     subtitles are shown at 0.5-2 s and 6.5-8 s only, so chapter 2 holds no
//     subpicture packet;
//   - title 2: 2 s at a low rate, under 1000 sectors;
// - title set 2: one title of 6 s with one "fr" MPEG audio stream (0xC0);
//   chapter 1 is two cells (0-2 s, 2-3 s), chapter 2 one cell (3-6 s).
std::string StandardDvd();
constexpr int kMainTitleSeconds = 9;
constexpr int kShortTitleSeconds = 2;
constexpr int kSecondSetSeconds = 6;

// One title set with `titles` one-second titles of one chapter each (at
// most 99), for listing many titles.
std::string DvdWithTitles(int titles);

// A fresh copy of the standard disc's VIDEO_TS folder below a new folder
// whose name is `parentName` (blanks and non-ASCII allowed); with lowerCase
// the folder and file names are lower-cased. Returns the VIDEO_TS path.
std::string CopyVideoTs(const std::string& parentName, bool lowerCase = false);

// A fresh copy of the standard disc's VIDEO_TS folder with title set 1's
// IFO damaged: cut to 1000 bytes (its .BUP intact, so the backup is read),
// cut with the .BUP removed, or IFO and .BUP overwritten with random bytes.
// Title set 2 stays intact. Returns the VIDEO_TS path.
enum class DvdDamage { CutIfo, CutIfoWithoutBackup, Garbage };
std::string DamagedVideoTs(DvdDamage damage);

// Zero crossings per second of the first audio channel of a file over one
// second from `from`: twice the frequency of the disc's sine tones, so 880
// for stream 0x80 (440 Hz) and 1760 for 0x81 (880 Hz).
double CrossingsPerSecond(const std::string& file, double from);

// Damage done to a file of a copied disc.
void TruncateFile(const std::string& path, long size);
void FillWithGarbage(const std::string& path, unsigned seed);
// Gives the first program chain of a title set IFO (or BUP) file no cells,
// which libdvdread accepts and the listing leaves out as damaged.
void BreakFirstChain(const std::string& path);

}  // namespace pcmtest
