// The gamma table: a byte raised to the power 1/gamma, used for the weights
// of interpolating pixel reads, resamplers and renderers.
#pragma once

#include <cstdint>

// Entry i = Round(255 * (i / 255) ^ (1 / gamma)). Filled with gamma 2.2 at
// library start-up.
extern uint8_t GammaEncodeTable[256];

void SetGamma(double AGamma);
