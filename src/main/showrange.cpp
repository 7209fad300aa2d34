// The run's range of frames, given in frames or in scenes.
#include "main/showrange.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "main/music.h"

int rangeFirst = 0;
int rangeEnd = -1;
int rangeLastScene = 0;

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

bool parseSceneRange(const char *text, int *first, int *last, const char **why) {
  const char *p = text;
  *last = kScenes;
  if (!readNumber(p, first)) {
    *why = "N is not a scene number";
    return false;
  }
  if (*p == ':') {
    ++p;
    if (*p && !readNumber(p, last)) {
      *why = "M is not a scene number";
      return false;
    }
  }
  if (*p) {
    *why = "expected N:M, two scene numbers";
    return false;
  }
  for (int n : {*first, *last})
    if (n < 1 || n > kScenes) {
      static char line[32];
      snprintf(line, sizeof line, "there is no scene %d", n);
      *why = line;
      return false;
    }
  if (*last < *first) {
    *why = "M comes before N";
    return false;
  }
  return true;
}

[[noreturn]] static void refuseRange(const char *option, const char *text, const char *why, const char *whole) {
  printf("[!] %s %s: %s (%s)\n", option, text, why, whole);
  fflush(stdout);
  exit(2);
}

void applyRange(const char *frames, const char *scenes) {
  static const char *const wholeFrames = "a whole run has frames 0 to 7534";
  static const char *const wholeScenes = "the show has scenes 1 to 12";
  const char *why = nullptr;
  if (frames && scenes) refuseRange("-s", frames, "give -s or -S, not both", wholeFrames);
  if (frames) {
    int first = 0, end = -1;
    if (!parseFrameRange(frames, &first, &end, &why)) refuseRange("-s", frames, why, wholeFrames);
    rangeFirst = first;
    rangeEnd = end;
  }
  if (scenes) {
    int first = 0, last = 0;
    if (!parseSceneRange(scenes, &first, &last, &why)) refuseRange("-S", scenes, why, wholeScenes);
    rangeFirst = kSceneFirstFrame[first];
    rangeEnd = last < kScenes ? kSceneFirstFrame[last + 1] : -1;
    rangeLastScene = last;
  }
}

int firstRenderedFrame() {
  // From scene 1's first frame up to the hand-over to scene 8 nothing
  // blurs, so such a frame owes nothing to the ones before it: a start there
  // draws nothing ahead, and a start a little after draws from the last of them.
  int from = std::max(0, rangeFirst - kBlurSettleFrames);
  if (rangeFirst >= kSceneFirstFrame[1]) from = std::max(from, std::min(rangeFirst, kSceneFirstFrame[8] - 1));
  return from;
}

bool frameRendered(int n) { return n >= firstRenderedFrame() && (rangeEnd < 0 || n < rangeEnd); }

bool frameWritten(int n) { return n >= rangeFirst && (rangeEnd < 0 || n < rangeEnd); }

void printTimeline() {
  printf("[dev] timeline: %d frames\n", kShowFrames);
  printf("[dev] the music starts in frame %d, %d ms into the video: %s\n", kSceneFirstFrame[1] + 1,
         kSceneFirstFrame[1] * 25, kMusicPath);
  for (int scene = 1; scene <= kScenes; scene++)
    printf("[dev] scene %d starts in frame %d\n", scene, kSceneFirstFrame[scene] + 1);
}
