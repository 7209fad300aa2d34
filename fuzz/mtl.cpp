// libFuzzer target: the material-library reader on bytes in memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "glm/glm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = size ? fmemopen(const_cast<uint8_t *>(data), size, "r") : fopen("/dev/null", "r");
  if (!f) return 0;
  GlmModel model;
  memset(&model, 0, sizeof model);
  char path[] = "fuzz/m.obj";
  model.path = path;
  GlmError error;
  int ok = glmReadMTLStream(&model, f, &error);
  fclose(f);
  if (!ok) {
    if (error.status != 1 || error.message[0] == '\0') abort();
  } else {
    // Material 0 is always "default"; the rest are named in file order.
    if (model.materialcount < 1 || !model.materials || strcmp(model.materials[0].name, "default") != 0)
      abort();
  }
  for (unsigned i = 0; i < model.materialcount; ++i) free(model.materials[i].name);
  free(model.materials);
  return 0;
}
