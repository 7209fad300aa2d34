// Full-screen fragment programs, built once on first use.
#pragma once

// Whole file as a NUL-terminated heap buffer; exits on failure.
char *readFile(const char *path);
void glsl_bloom_shader(int mode);
void glsl_gibson_frag(int mode);
