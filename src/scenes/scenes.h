// One frame function per scene, called by the dispatcher in number order.
#pragma once

void scene01();
void scene02();
void scene03();
void scene04();
void scene05();
void scene06();
void scene07();
void scene08();
void scene09();
void scene10();
void scene11();
void scene12();
