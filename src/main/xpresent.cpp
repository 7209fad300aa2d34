#include "main/xpresent.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

namespace {

enum class State { untried, ready, unusable };
State state = State::untried;
Display *display = nullptr;
Window window = 0;
GC gc = nullptr;
XImage *image = nullptr;
XShmSegmentInfo segment;
bool requestFailed = false;

int noteFailure(Display *, XErrorEvent *) {
  requestFailed = true;
  return 0;
}

void release() {
  if (image) XDestroyImage(image);  // its data is the segment: not freed here
  image = nullptr;
  if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char *>(-1)) shmdt(segment.shmaddr);
  segment.shmaddr = nullptr;
}

bool makeImage(int w, int h) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  const Visual *v = attributes.visual;
  if ((attributes.depth != 24 && attributes.depth != 32) || v->red_mask != 0xff0000 ||
      v->green_mask != 0xff00 || v->blue_mask != 0xff)
    return false;
  segment = XShmSegmentInfo();
  image = XShmCreateImage(display, attributes.visual, unsigned(attributes.depth), ZPixmap, nullptr,
                          &segment, unsigned(w), unsigned(h));
  // 32 bits a pixel, least significant byte first: blue, green, red and a
  // spare byte, which is how GL_BGRA reads the window.
  if (!image || image->bits_per_pixel != 32 || image->byte_order != LSBFirst ||
      image->bytes_per_line != w * 4)
    return false;
  segment.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(h), IPC_CREAT | 0600);
  if (segment.shmid < 0) return false;
  segment.shmaddr = image->data = static_cast<char *>(shmat(segment.shmid, nullptr, 0));
  segment.readOnly = False;
  const bool mapped = segment.shmaddr != reinterpret_cast<char *>(-1);
  if (mapped) XShmAttach(display, &segment);
  // Marked for removal now, it goes when both sides have let go of it,
  // however the program ends.
  shmctl(segment.shmid, IPC_RMID, nullptr);
  return mapped;
}

// A server on another machine cannot map the segment, and a drawable may
// not be the plain window looked for; X reports either only as an error
// event, whose default handling ends the program. Errors are noted instead
// while the image is made.
bool setUp(int w, int h) {
  display = glXGetCurrentDisplay();
  window = glXGetCurrentDrawable();
  if (!display || !window || !XShmQueryExtension(display)) return false;
  XSync(display, False);
  requestFailed = false;
  XErrorHandler previous = XSetErrorHandler(noteFailure);
  bool made = makeImage(w, h);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (made && requestFailed) {
    XShmDetach(display, &segment);
    XSync(display, False);
    made = false;
  }
  if (!made) {
    release();
    return false;
  }
  gc = XCreateGC(display, window, 0, nullptr);
  return true;
}

}  // namespace

bool showFrame(const uint8_t *bgra, int w, int h) {
  if (state == State::unusable || w <= 0 || h <= 0) return false;
  // The window's size changed: a new image at the new size.
  if (state == State::ready && (image->width != w || image->height != h)) {
    XShmDetach(display, &segment);
    XFreeGC(display, gc);
    release();
    state = State::untried;
  }
  if (state == State::untried) state = setUp(w, h) ? State::ready : State::unusable;
  if (state != State::ready) return false;
  // X counts rows from the top, GL from the bottom.
  const size_t row = size_t(w) * 4;
  for (int y = 0; y < h; ++y) std::memcpy(image->data + size_t(h - 1 - y) * row, bgra + size_t(y) * row, row);
  XShmPutImage(display, window, gc, image, 0, 0, 0, 0, unsigned(w), unsigned(h), False);
  // The image's memory is written again next frame: wait until the server
  // has taken this one.
  XSync(display, False);
  return true;
}
