#pragma once
#include <GL/glew.h>

void drawStartScreen(GLuint texture);
