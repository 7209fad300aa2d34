// Textured quads, rings and full-view fades.
#pragma once
#include <GL/glew.h>

void draw2DTexture(float x, float y, float z, float halfWidth, float halfHeight, GLuint texture);
void drawCircle(float x, float y, float ignored, float radius);
void fade(float alpha, GLuint texture);
