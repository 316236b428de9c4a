#pragma once
#include <string>
#include <vector>

// The adapter confines itself with Landlock before it reads any media, and
// so everything it starts (ffmpeg, sox): a decoder taken over by a crafted
// file (or a format that opens the files another file names) reads only
// the run's inputs, the system's libraries, settings and fonts and the
// programs it runs, writes only where the run's output goes, connects and
// binds no TCP port, signals and reaches no abstract socket outside the
// adapter's own processes, and gains no privileges. The kernel's Landlock
// ABI decides how much of that holds; without Landlock the adapter runs as
// before.
namespace adapter {

// What a run may write.
struct Writable {
  // The folder written in, with everything beneath it; empty: nowhere.
  std::string folder;
  // One existing file that is no regular file (a device, a named pipe),
  // written where it is; empty: none.
  std::string file;
  // A conversion, whose programs may write /dev/null (scripts around ffmpeg
  // often do); a probe or a listing writes nothing at all.
  bool devNull = false;
  // A DVD is read: the drives' own requests (ioctl) stay allowed, which
  // decrypting a disc needs.
  bool dvdDrive = false;
};

// What a run may read besides the system's folders (/usr, /etc, ...), the
// adapter's own folder and the folders of the programs it runs.
struct Readable {
  std::vector<std::string> files;    // each read where it is
  std::vector<std::string> folders;  // read with everything beneath
};

// What a conversion writing `output` may write: the folder holding it, or
// the output itself when it exists and is a device or a pipe. `output` is
// the path as the writing program opens it; "-", "pipe:" and URLs write no
// file.
Writable ConversionWritable(const std::string& output);

// How far this process is confined.
struct Confinement {
  int abi = 0;              // Landlock's ABI version; 0: the kernel offers none
  std::string unavailable;  // why there is no Landlock
  std::string error;        // Landlock is there, but confining failed
  bool files = false;       // reads and writes only where allowed
  bool network = false;     // no TCP connect or bind
  bool scoped = false;      // signals and abstract sockets kept inside
  bool noNewPrivileges = false;
};

// Confines this process and every program it starts from now on, as far as
// the kernel allows: reading as `readable` says, writing only as `writable`
// says. `programs` are the programs the run starts, whose folders may be
// read and run from. Call it while the process has one thread: Landlock
// confines the calling thread and what it starts later.
Confinement Confine(const Writable& writable, const Readable& readable,
                    const std::vector<std::string>& programs = {});

// One line saying what is confined, for "--sandbox-status":
// "sandbox: Landlock ABI 7: writes only in the output folder, ...".
std::string DescribeConfinement(const Confinement& c);

}  // namespace adapter
