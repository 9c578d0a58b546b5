// ripple-render: renders a frame of the show from a picture, with no window.
//   ripple-render --width W --height H --setting S --ticks N
//                 --input in.bmp --output out.bmp [--path reference|scalar|sse2|avx2]
//                 [--threads T] [--strip COLUMNS] [--time-from TICK]
// Returns the exit code: 0 done, 2 bad arguments or input or not enough
// memory (a message on stderr, nothing written), 1 the output could not be
// written.
#pragma once

int RunRenderCommand(int argc, const char* const* argv);
