// Frame capture to numbered PNG files in capture mode.
#pragma once
#include <SDL/SDL.h>
#include <png.h>
#include <cstddef>

void capture();
// The raw frames' file already open (standard output's, when -r names it),
// or -1: RAW_PATH is opened at the first frame.
extern int rawStreamFd;
void getScreenShotRGB24();
// Waits until every frame handed to capture is written and reported.
void finishCapture();
// From start-up in capture mode, before any other thread exists: SIGINT and
// SIGTERM finish the frame being written before they end the process.
void stopCaptureOnSignals();
// Ends the process with status 255 where writing fails after the file
// was opened; -1 where it could not be opened.
int png_save_surface(const char *path, SDL_Surface *surface);
int png_colortype_from_surface(SDL_Surface *surface);

// Compression used for captured frames: zlib level 2, rows unfiltered.
// On the production's own frames this encodes 3-5x faster than zlib's
// default with adaptive filters, for files about a quarter larger; row
// filters cost time here without making these frames smaller. See
// bench/bench_capture.cpp for the trade-off.
constexpr int kCaptureZlibLevel = 2;
constexpr int kCaptureFilters = PNG_FILTER_NONE;

// The largest frame -c can keep: an SDL 1.2 surface's row of 4-byte pixels
// must fit its 16-bit pitch, and libpng refuses images beyond its limits.
constexpr int kCaptureMaxWidth = 65535 / 4 < PNG_USER_WIDTH_MAX ? 65535 / 4 : PNG_USER_WIDTH_MAX;
constexpr int kCaptureMaxHeight = PNG_USER_HEIGHT_MAX;

// The steps of one capture, split so they can be tested and timed
// without a GL context.

// "capture/" + framenr zero-padded to 10 digits + ".png" into out.
// Returns the length written, or -1 if it does not fit in size bytes.
int captureFileName(int framenr, char *out, size_t size);

// Copies a tightly packed RGB image (w x h, bottom row first, as
// glReadPixels gives it) into a 32-bit surface, upside down so the
// surface's first row is the top of the screen, with alpha 255. Copies at
// most the surface's rows and columns.
void flipRGBToSurface(const unsigned char *rgb, int w, int h,
                      SDL_Surface *surface);

// The 32-bit RGBA software surface a captured frame is kept in.
SDL_Surface *createCaptureSurface(int w, int h);

// png_save_surface with an explicit zlib level (-1: zlib's default) and
// PNG filter mask (-1: libpng's default choice). Returns 0 when written,
// -1 when the file could not be opened or libpng not started (nothing is
// left on disk), -2 when writing failed (the reason is printed and the
// partial file removed). Never ends the process: encoders run on worker
// threads.
int png_save_surface_with(const char *path, SDL_Surface *surface,
                          int zlibLevel, int filters);

// libpng's message callbacks; they print on standard error.
void png_user_warn(png_structp png, png_const_charp message);
void png_user_error(png_structp png, png_const_charp message);
