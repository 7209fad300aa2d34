// Frame ranges of the raw stream.
#include "main/rawrange.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

int rawFirst = 0;
int rawEnd = -1;

// A whole number of at most nine digits: no sign, no blanks, no hex.
static bool readNumber(const char *&p, int *out) {
  long v = 0;
  int digits = 0;
  while (*p >= '0' && *p <= '9') {
    if (++digits > 9) return false;
    v = v * 10 + (*p++ - '0');
  }
  *out = int(v);
  return digits > 0;
}

bool parseFrameRange(const char *text, int *first, int *end, const char **why) {
  const char *p = text;
  *end = -1;
  if (!readNumber(p, first)) {
    *why = "FIRST is not a frame number";
    return false;
  }
  if (*p == ':') {
    ++p;
    if (*p && !readNumber(p, end)) {
      *why = "END is not a frame number";
      return false;
    }
  }
  if (*p) {
    *why = "expected FIRST:END, two frame numbers";
    return false;
  }
  if (*first >= kShowFrames) {
    *why = "FIRST lies past the end of the show";
    return false;
  }
  if (*end > kShowFrames) {
    *why = "END lies past the end of the show";
    return false;
  }
  if (*end >= 0 && *end < *first) {
    *why = "END comes before FIRST";
    return false;
  }
  if (*end == *first) {
    *why = "the range is empty";
    return false;
  }
  return true;
}

void applyFrameRange(const char *text, bool raw) {
  if (!text) return;
  const char *why = nullptr;
  int first = 0, end = -1;
  if (!raw) {
    why = "it needs -r FILE";
  } else if (parseFrameRange(text, &first, &end, &why)) {
    rawFirst = first;
    rawEnd = end;
    return;
  }
  printf("[!] -s %s: %s (a whole run has frames 0 to %d)\n", text, why, kShowFrames - 1);
  fflush(stdout);
  exit(2);
}

bool frameRendered(int n) {
  return n >= rawFirst - kBlurSettleFrames && (rawEnd < 0 || n < rawEnd);
}

bool frameWritten(int n) { return n >= rawFirst && (rawEnd < 0 || n < rawEnd); }
