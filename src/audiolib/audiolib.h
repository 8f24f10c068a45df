/* The C interface of Vesperon's audio library, "fmodex.so".
 *
 * The player loads the library at run time and calls these functions through
 * pointers it looks up by name (src/audio/audio_binding.h), so the names,
 * argument lists and numeric values below are the contract between the two.
 *
 * Every function returns an FMOD_RESULT: FMOD_OK (0) on success, otherwise
 * one of the error codes below. Handles are opaque: the library never
 * dereferences a handle it is given, it looks it up, so a stale, foreign or
 * null handle yields FMOD_ERR_INVALID_HANDLE instead of a crash.
 *
 * Times are in milliseconds (FMOD_TIMEUNIT_MS) or in sample frames of the
 * sound's own rate (FMOD_TIMEUNIT_PCM). Volumes are linear factors 0.0-1.0.
 */
#ifndef VESPERON_AUDIOLIB_H
#define VESPERON_AUDIOLIB_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VESPERON_AUDIO_EXPORT __attribute__((visibility("default")))
#else
#define VESPERON_AUDIO_EXPORT
#endif

/* Opaque handles. */
typedef struct FMOD_SYSTEM FMOD_SYSTEM;
typedef struct FMOD_SOUND FMOD_SOUND;
typedef struct FMOD_CHANNEL FMOD_CHANNEL;
typedef struct FMOD_CHANNELGROUP FMOD_CHANNELGROUP;
/* Extra information for opening a sound; the library accepts only NULL. */
typedef struct FMOD_CREATESOUNDEXINFO FMOD_CREATESOUNDEXINFO;

typedef int FMOD_RESULT;
typedef int FMOD_BOOL;
typedef unsigned int FMOD_MODE;
typedef unsigned int FMOD_INITFLAGS;
typedef unsigned int FMOD_TIMEUNIT;
typedef int FMOD_OPENSTATE;
typedef int FMOD_CHANNELINDEX;

/* Result codes. Codes 0-77 all have a text in the player's error table;
 * these are the ones the library and the binding return. */
enum {
  FMOD_OK = 0,
  FMOD_ERR_CHANNEL_ALLOC = 3,   /* every channel is busy */
  FMOD_ERR_FILE_BAD = 13,       /* read error or corrupt data */
  FMOD_ERR_FILE_NOTFOUND = 18,  /* the file does not exist or cannot be opened */
  FMOD_ERR_FORMAT = 20,         /* not a format the library decodes */
  FMOD_ERR_INITIALIZED = 26,    /* System_Init on a running system */
  FMOD_ERR_INTERNAL = 28,       /* an unexpected failure inside the library */
  FMOD_ERR_INVALID_HANDLE = 30, /* unknown, stale or null handle */
  FMOD_ERR_INVALID_PARAM = 31,  /* an argument out of range or a null address */
  FMOD_ERR_MEMORY = 35,         /* out of memory */
  FMOD_ERR_NOTREADY = 46,       /* the sound is still opening */
  FMOD_ERR_OUTPUT_INIT = 55,    /* no sound output could be opened */
  FMOD_ERR_UNINITIALIZED = 65,  /* the system is not initialised (or closed) */
  FMOD_ERR_UNSUPPORTED = 66,    /* a mode, flag or time unit the library lacks */
  FMOD_ERR_LIBRARY_LOAD = 69,   /* the library file could not be loaded */
  FMOD_ERR_EVENT_NOTFOUND = 77, /* kept for the error table; never returned */
  FMOD_RESULT_LAST = 77
};

/* Open modes for FMOD_System_CreateSound (bits, combined with |). */
#define FMOD_DEFAULT 0x00000000u
#define FMOD_LOOP_OFF 0x00000001u     /* play once (the only loop mode) */
#define FMOD_CREATESTREAM 0x00000080u /* decode while playing (always done) */
#define FMOD_ACCURATETIME 0x00004000u /* exact length, counted if need be */
#define FMOD_NONBLOCKING 0x00010000u  /* open in the background */
#define FMOD_UNICODE 0x01000000u      /* the name is UTF-16, 0-terminated */

/* Open states reported by FMOD_Sound_GetOpenState. */
enum {
  FMOD_OPENSTATE_READY = 0,   /* opened, can be played */
  FMOD_OPENSTATE_LOADING = 1, /* still opening in the background */
  FMOD_OPENSTATE_ERROR = 2    /* the open failed; the sound can only be released */
};

/* Channel indices for FMOD_System_PlaySound. */
enum {
  FMOD_CHANNEL_FREE = -1, /* take any idle channel, return a new handle */
  FMOD_CHANNEL_REUSE = -2 /* play on the channel whose handle is passed in;
                             an empty or stale handle takes an idle channel */
};

/* Time units. */
#define FMOD_TIMEUNIT_MS 0x00000001u
#define FMOD_TIMEUNIT_PCM 0x00000002u

/* The version this library reports: major in the high 16 bits, minor low. */
#define VESPERON_AUDIOLIB_VERSION 0x00040001u

/* The system: one output stream and up to `maxchannels` mixed channels. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels,
                                                   FMOD_INITFLAGS flags, void* extradriverdata);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_GetVersion(FMOD_SYSTEM* system,
                                                         unsigned int* version);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_GetMasterChannelGroup(FMOD_SYSTEM* system,
                                                                    FMOD_CHANNELGROUP** group);
/* Opens a sound. With FMOD_UNICODE `name` points at 0-terminated UTF-16
 * units, otherwise at 0-terminated UTF-8. With FMOD_NONBLOCKING the call
 * returns at once and the open state tells when the sound is ready. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name,
                                                          FMOD_MODE mode,
                                                          FMOD_CREATESOUNDEXINFO* exinfo,
                                                          FMOD_SOUND** sound);
/* Starts a sound from its beginning on a channel (see FMOD_CHANNEL_*). */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system,
                                                        FMOD_CHANNELINDEX channelid,
                                                        FMOD_SOUND* sound, FMOD_BOOL paused,
                                                        FMOD_CHANNEL** channel);
/* Stops the output and the library's threads and frees every sound and
 * channel; the system handle stays valid and may be initialised again. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_Close(FMOD_SYSTEM* system);
/* Closes (if needed) and frees the system; its handle becomes stale. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM* system);

/* The master group: one volume applied to the sum of all channels. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_ChannelGroup_SetVolume(FMOD_CHANNELGROUP* group,
                                                              float volume);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_ChannelGroup_GetVolume(FMOD_CHANNELGROUP* group,
                                                              float* volume);

/* Sounds. `percentbuffered` and `starving` may be NULL. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Sound_GetOpenState(FMOD_SOUND* sound,
                                                          FMOD_OPENSTATE* openstate,
                                                          unsigned int* percentbuffered,
                                                          FMOD_BOOL* starving);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Sound_GetLength(FMOD_SOUND* sound, unsigned int* length,
                                                       FMOD_TIMEUNIT lengthtype);
/* Stops the channels playing the sound and frees it; its handle becomes stale. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND* sound);

/* Channels. A channel handle stays valid until the channel is given to
 * another FMOD_CHANNEL_FREE request or the system closes; a finished or
 * stopped channel reports that it is not playing. */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_SetPaused(FMOD_CHANNEL* channel, FMOD_BOOL paused);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_GetPaused(FMOD_CHANNEL* channel, FMOD_BOOL* paused);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* channel);
/* The position of what has been heard so far (not of what is decoded ahead). */
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_GetPosition(FMOD_CHANNEL* channel,
                                                           unsigned int* position,
                                                           FMOD_TIMEUNIT postype);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* channel, float volume);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_GetVolume(FMOD_CHANNEL* channel, float* volume);
VESPERON_AUDIO_EXPORT FMOD_RESULT FMOD_Channel_IsPlaying(FMOD_CHANNEL* channel,
                                                         FMOD_BOOL* isplaying);

#ifdef __cplusplus
}
#endif

#endif /* VESPERON_AUDIOLIB_H */
