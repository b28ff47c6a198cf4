// Whether a JPEG found by its contents decodes whole, through libjpeg-turbo: its segments can be
// walked to an end marker in bytes that are not one picture (a file cut short and followed by
// another's bytes), and only the decoder tells.
#pragma once

#include "disk/bytes.h"

namespace salvex {

// True when every scan line of the picture decodes without an error or a warning (libjpeg warns
// of corrupt data and of a premature end).
bool jpeg_decodes_whole(ByteView bytes);

} // namespace salvex
