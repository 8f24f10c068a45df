/* A stand-in audio library for the binding tests: it exports the player's
 * functions, reports the version given by FAKE_VERSION, and plays nothing.
 * Built with FAKE_WITHOUT_STOP it lacks FMOD_Channel_Stop. */
#include "audiolib/audiolib.h"

static int gSystem, gGroup;

/* One stub a line. */
/* clang-format off */
FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system) { *system = (FMOD_SYSTEM*)&gSystem; return FMOD_OK; }
FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* s, int n, FMOD_INITFLAGS f, void* x) { (void)s; (void)n; (void)f; (void)x; return FMOD_OK; }
FMOD_RESULT FMOD_System_GetVersion(FMOD_SYSTEM* s, unsigned int* version) { (void)s; *version = FAKE_VERSION; return FMOD_OK; }
FMOD_RESULT FMOD_System_GetMasterChannelGroup(FMOD_SYSTEM* s, FMOD_CHANNELGROUP** g) { (void)s; *g = (FMOD_CHANNELGROUP*)&gGroup; return FMOD_OK; }
FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* s, const char* n, FMOD_MODE m, FMOD_CREATESOUNDEXINFO* e, FMOD_SOUND** r) { (void)s; (void)n; (void)m; (void)e; (void)r; return FMOD_ERR_FORMAT; }
FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* s, FMOD_CHANNELINDEX i, FMOD_SOUND* so, FMOD_BOOL p, FMOD_CHANNEL** c) { (void)s; (void)i; (void)so; (void)p; (void)c; return FMOD_ERR_INVALID_HANDLE; }
FMOD_RESULT FMOD_System_Close(FMOD_SYSTEM* s) { (void)s; return FMOD_OK; }
FMOD_RESULT FMOD_ChannelGroup_SetVolume(FMOD_CHANNELGROUP* g, float v) { (void)g; (void)v; return FMOD_OK; }
FMOD_RESULT FMOD_Sound_GetOpenState(FMOD_SOUND* s, FMOD_OPENSTATE* o, unsigned int* p, FMOD_BOOL* st) { (void)s; (void)o; (void)p; (void)st; return FMOD_ERR_INVALID_HANDLE; }
FMOD_RESULT FMOD_Sound_GetLength(FMOD_SOUND* s, unsigned int* l, FMOD_TIMEUNIT u) { (void)s; (void)l; (void)u; return FMOD_ERR_INVALID_HANDLE; }
FMOD_RESULT FMOD_Channel_SetPaused(FMOD_CHANNEL* c, FMOD_BOOL p) { (void)c; (void)p; return FMOD_ERR_INVALID_HANDLE; }
#ifndef FAKE_WITHOUT_STOP
FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* c) { (void)c; return FMOD_ERR_INVALID_HANDLE; }
#endif
FMOD_RESULT FMOD_Channel_GetPosition(FMOD_CHANNEL* c, unsigned int* p, FMOD_TIMEUNIT u) { (void)c; (void)p; (void)u; return FMOD_ERR_INVALID_HANDLE; }
FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* c, float v) { (void)c; (void)v; return FMOD_ERR_INVALID_HANDLE; }
FMOD_RESULT FMOD_Channel_IsPlaying(FMOD_CHANNEL* c, FMOD_BOOL* p) { (void)c; (void)p; return FMOD_ERR_INVALID_HANDLE; }
/* clang-format on */
