// ifo_open_check FOLDER SET: opens title set SET of the DVD folder with
// libdvdread alone and closes it again; exit status 0 when the library
// survived. Built without sanitizers and started for each input of
// fuzz_ifo, as the program starts its reading child: a fork of the
// sanitized harness costs far more than starting this.
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <cstdarg>
#include <cstdlib>

namespace {
void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  static const dvd_logger_cb logger = {Quiet};
  if (dvd_reader_t* dvd = DVDOpen2(nullptr, &logger, argv[1])) {
    if (ifo_handle_t* ifo = ifoOpen(dvd, std::atoi(argv[2]))) ifoClose(ifo);
    DVDClose(dvd);
  }
  return 0;
}
