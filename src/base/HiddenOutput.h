#pragma once
#include <cstddef>
#include <string>

// Outputs are written under a hidden name beside their final name and get
// the final name only once complete. The hidden file is created here and
// nowhere else: never where anything exists (a link is not followed, not
// even a dangling one). Its writer holds it locked (flock) for as long as
// the descriptor stays open, so a later run can tell a file whose writer
// has gone by its free lock and remove it. The name alone proves nothing (a
// person may call a file ".take1.pcm-stereo.wav"): each hidden file carries
// a mark of its own, an extended attribute under a name only this program
// uses, with its writer, and only marked files are ever removed by the
// clean-up. The mark goes when the file gets its final name. Plain C++: the
// adapter creates and locks such files for the job lines, the core for its
// batches.
namespace pcm {

// The longest file name the file systems take, in bytes.
constexpr size_t kOutputNameMax = 255;
// What a hidden name adds to the final name's base: "." before it and
// ".pcm-XXXXXX" after it.
constexpr size_t kReservedNameExtra = 12;

// Whether a file name (no folder) has the form of a hidden output name,
// "." + base + ".pcm-" + six letters or digits + an extension or nothing:
// another run's unfinished output, never an input. Only the name: whether
// this program made the file is told by its mark.
bool IsReservedOutputName(const std::string& fileName);

// A hidden output file: its path and the descriptor that holds its lock
// (open for writing). fd is -1 with errno's value in `error` when none could
// be made.
struct HiddenOutput {
  std::string path;
  int fd = -1;
  int error = 0;
};

// Creates "<folder>/.<name>.pcm-XXXXXX<ext>" beside finalPath, with
// finalPath's extension (so the encoder still knows its container by it),
// the base shortened so the whole name fits kOutputNameMax, and the mode an
// encoder would give it. The file is marked and locked before it is
// returned; on a file system without locks it is returned unlocked, on one
// without extended attributes unmarked (no clean-up then ever removes it).
HiddenOutput CreateHiddenOutput(const std::string& finalPath);

// Whether the open file carries the mark of a hidden output this program
// made.
bool MarkedHiddenOutput(int fd);

// Takes the mark off a hidden output that is about to get its final name
// another way than MoveWithoutReplacing (a link).
void UnmarkHiddenOutput(int fd);

// Whether path still names the file open at fd: nothing took its place.
bool StillNames(const char* path, int fd);

// Removes path when it still names the file open at fd, which stays open;
// whatever took the name meanwhile is left alone. Only calls that are safe
// in a signal handler.
void RemoveHiddenOutput(const char* path, int fd);

// Removes the hidden output files in folder that this program made (they
// carry its mark), that belong to this user and whose writer has gone:
// their lock is free. A file being written, an unmarked one whatever its
// name, another user's, a link or anything but a regular file stays.
// Returns how many were removed.
int RemoveAbandonedOutputs(const std::string& folder);

// Moves from to to unless `to` exists, without ever replacing it. The
// kernel does it in one step where the file system allows it; otherwise a
// hard link claims the name; a file system with neither gets a last check
// right before the rename. Taken when `to` exists; Failed with errno's
// value in `error`. A hidden output's mark goes once it has its final name.
enum class NameMove { Done, Taken, Failed };
NameMove MoveWithoutReplacing(const std::string& from, const std::string& to, int& error);

}  // namespace pcm
