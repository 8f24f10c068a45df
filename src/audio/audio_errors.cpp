// The texts of the audio library's result codes, in our own words.
#include <array>
#include <string>

#include "audio/audio_binding.h"

namespace vesperon {
namespace {

// clang-format off
constexpr std::array<const char*, FMOD_RESULT_LAST + 1> kErrorTexts = {
    "No errors.",                                                                  // 0
    "The call is not allowed in the object's current state.",                      // 1
    "The combination of arguments is not valid for this call.",                    // 2
    "Every channel is busy; there is no free channel to play on.",                 // 3
    "The channel was taken over by another sound.",                                // 4
    "The sound device reported an error.",                                         // 5
    "The sound device does not accept the requested sample format.",               // 6
    "The sound was opened in a mode that does not allow this call.",               // 7
    "The sound's data cannot be played in its stored format.",                     // 8
    "The requested number of speakers or sample channels is not supported.",       // 9
    "No sound device was found.",                                                  // 10
    "The effect cannot be attached to this object.",                               // 11
    "The effect is already attached elsewhere.",                                   // 12
    "The file could not be read or its data is corrupt.",                          // 13
    "The file could not be opened.",                                               // 14
    "The file ended before the data that was asked for.",                          // 15
    "The file position could not be set.",                                         // 16
    "The file is in use and cannot be opened.",                                    // 17
    "The file was not found.",                                                     // 18
    "The file's data ends unexpectedly.",                                          // 19
    "The file is not in a format that can be decoded.",                            // 20
    "The address of a network stream is malformed.",                               // 21
    "A network stream could not be connected.",                                    // 22
    "A network stream was refused by the server.",                                 // 23
    "The network stream's server did not answer in time.",                         // 24
    "A network operation failed.",                                                 // 25
    "The system is already initialised.",                                          // 26
    "The system's output could not be started.",                                   // 27
    "An unexpected failure occurred inside the audio library.",                    // 28
    "The audio library is not initialised for this call.",                         // 29
    "The handle is not valid (unknown, stale or empty).",                          // 30
    "An argument is out of range or missing.",                                     // 31
    "The geometry data is not valid.",                                             // 32
    "The sound is not locked, so it cannot be unlocked.",                          // 33
    "A 3D call was made on an object opened without 3D support.",                  // 34
    "There is not enough memory.",                                                 // 35
    "The stream was opened for streaming but the call needs it loaded whole.",     // 36
    "The needed 3D support was not initialised.",                                  // 37
    "The sound has too many sub-sounds.",                                          // 38
    "The sound is not a sub-sound stream.",                                        // 39
    "The sound device cannot play this kind of stream.",                           // 40
    "A reverb instance is already in use.",                                        // 41
    "The reverb instance does not exist.",                                         // 42
    "A record device could not be started.",                                       // 43
    "Recording is not running.",                                                   // 44
    "The sound has no tags of the requested name.",                                // 45
    "The sound is still opening and cannot be used yet.",                          // 46
    "The output's buffer could not be allocated.",                                 // 47
    "The output's driver reported an error.",                                      // 48
    "The output's driver does not support the requested format.",                  // 49
    "The output's driver could not be set up.",                                    // 50
    "The output's driver refused the requested number of speakers.",               // 51
    "The output could not be given a buffer of the requested size.",               // 52
    "The output's sample format is not supported.",                                // 53
    "The output was not started.",                                                 // 54
    "No sound output could be opened.",                                            // 55
    "A plugin of the audio library is missing.",                                   // 56
    "A plugin of the audio library could not be loaded.",                          // 57
    "A plugin of the audio library reported an error.",                            // 58
    "A plugin of the audio library is of an unsupported version.",                 // 59
    "The plugin's resources are missing.",                                         // 60
    "A plugin instance could not be created.",                                     // 61
    "The sub-sound is already in use by another parent sound.",                    // 62
    "The sub-sound cannot be used for this sentence.",                             // 63
    "The tag was not found.",                                                      // 64
    "The system is not initialised, or it has been closed.",                       // 65
    "The call, mode or time unit is not supported by this audio library.",         // 66
    "The sound's data was not found in its container.",                            // 67
    "The version of the audio library does not match.",                            // 68
    "The audio library file could not be loaded.",                                 // 69
    "The event system could not be initialised.",                                  // 70
    "The event's data is not valid.",                                              // 71
    "The event could not be started because no instance is free.",                // 72
    "The event was stopped because another took its place.",                       // 73
    "The event project file is not valid.",                                        // 74
    "The event project file is of an unsupported version.",                        // 75
    "The event data version does not match.",                                      // 76
    "The requested event, event group, event category or event property could not be found.",  // 77
};
// clang-format on

}  // namespace

std::string ErrorText(int result) {
  if (result < 0 || result > FMOD_RESULT_LAST) return "Unknown error.";
  return kErrorTexts[static_cast<size_t>(result)];
}

}  // namespace vesperon
