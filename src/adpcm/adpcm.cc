#include "adpcm/adpcm.h"

int adpcm_decode_code(AdpcmState *state, unsigned code) {
  adpcm_step(state, code & 15u);
  return state->signal;
}

void adpcm_decode(const unsigned char *bytes, std::size_t count,
                  AdpcmState *state, std::int16_t *out) {
  for (std::size_t i = 0; i < count; ++i) {
    adpcm_step(state, bytes[i] & 15u);
    *out++ = static_cast<std::int16_t>(state->signal);
    adpcm_step(state, bytes[i] >> 4);
    *out++ = static_cast<std::int16_t>(state->signal);
  }
}
