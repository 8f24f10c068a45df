#pragma once

// Marks the functions that an idle pass of the main loop runs, about twenty
// times a second while nothing plays. Between two passes the process sleeps
// and its memory goes cold, so each code page such a pass reaches costs a
// slow miss; the compiler gathers functions marked hot into one section,
// which keeps the whole pass on a few pages.
#define VESPERON_IDLE_PATH __attribute__((hot))
