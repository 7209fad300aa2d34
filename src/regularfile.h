// Opening data files that the program reads whole.
#pragma once
#include <cstdio>

// fopen for reading that accepts only regular files: a directory would read
// as empty, and a device or a FIFO can block or never end. Returns null
// (with errno set) for anything else, as fopen does for a missing file.
FILE *fopenRegular(const char *path, const char *mode);
