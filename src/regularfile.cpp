// Regular files only, checked on the opened descriptor so that nothing can be
// swapped in between the check and the read.
#include "regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

FILE *fopenRegular(const char *path, const char *mode) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  bool known = fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    int why = known && S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    errno = why;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *f = fdopen(fd, mode);
  if (!f) close(fd);
  return f;
}
