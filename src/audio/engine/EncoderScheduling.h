#pragma once
// Encoders run ahead of ordinary processes where the system allows it: an encoder program or its feeding
// thread that a busy machine starves makes its queue overflow, and that audio is lost; everything else can
// wait a moment.

#include <sys/types.h>

// Gives the process or thread iTask (0 = the calling thread) the encoders' niceness; ignored without the
// right to it.
void FavourEncoderTask(pid_t iTask);
