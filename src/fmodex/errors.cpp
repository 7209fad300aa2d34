#include "fmodex/fmod.h"

// Texts for the codes this layer can return; anything else, including the
// closed library's codes we never produce, is "Unknown error.".
extern "C" const char *FMOD_ErrorString(FMOD_RESULT errcode) {
  switch (static_cast<int>(errcode)) {
    case FMOD_OK: return "No errors.";
    case FMOD_ERR_CHANNEL_ALLOC: return "No free channel is left to play the sound on. ";
    case FMOD_ERR_FILE_BAD: return "The file exists but could not be opened or read. ";
    case FMOD_ERR_FILE_NOTFOUND: return "File not found. ";
    case FMOD_ERR_FORMAT: return "Unsupported file or audio format. ";
    case FMOD_ERR_INITIALIZED: return "The sound system has already been initialized. ";
    case FMOD_ERR_INVALID_HANDLE: return "A null or released handle was passed. ";
    case FMOD_ERR_INVALID_PARAM: return "An invalid parameter was passed to this function. ";
    case FMOD_ERR_MEMORY: return "Not enough memory or resources. ";
    case FMOD_ERR_OUTPUT_INIT: return "No sound output could be opened, not even a silent one. ";
    case FMOD_ERR_UNINITIALIZED: return "The sound system has not been initialized yet. ";
    default: return "Unknown error.";
  }
}
