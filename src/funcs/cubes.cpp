#include "funcs/cubes.h"

#include <GL/glut.h>

void solidCube(double size) { glutSolidCube(size); }
void wireCube(double size) { glutWireCube(size); }
