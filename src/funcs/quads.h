// Textured quads, rings and full-view fades.
#pragma once
#include <GL/glew.h>

// Texturing on, the texture bound, linear filtering set on it.
void bindLinearTexture(GLuint texture);
void draw2DTexture(float x, float y, float z, float halfWidth, float halfHeight, GLuint texture);
void drawCircle(float x, float y, float ignored, float radius);
void fade(float alpha, GLuint texture);
