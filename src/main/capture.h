// Frame capture to numbered PNG files in capture mode.
#pragma once
#include <SDL/SDL.h>

void capture();
void getScreenShotRGB24();
int png_save_surface(const char *path, SDL_Surface *surface);
int png_colortype_from_surface(SDL_Surface *surface);
