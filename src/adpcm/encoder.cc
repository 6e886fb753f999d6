#include "adpcm/encoder.h"

#include <limits>

namespace {

constexpr std::int64_t NO_COST = std::numeric_limits<std::int64_t>::max();

// Paths kept per step index. Keeping the cheapest paths overall instead
// would drop the large-step states a sharp attack needs a few samples
// later.
std::size_t paths_per_index(AdpcmQuality quality) {
  switch (quality) {
    case ADPCM_QUALITY_FAST:
      return 1;
    case ADPCM_QUALITY_GOOD:
      return 2;
    case ADPCM_QUALITY_BEST:
      return 4;
  }
  return 1;
}

// How far behind the best a path may fall, in mean errors a sample, before
// it is dropped; 0 keeps every path the buckets keep.
std::int64_t margin(AdpcmQuality quality) {
  return quality == ADPCM_QUALITY_GOOD ? 128 : 0;
}

// The least margin, so that a quiet start drops nothing too early.
constexpr std::int64_t MARGIN_FLOOR = 4096;

void start_rows(AdpcmEncoder *encoder, AdpcmState state) {
  encoder->rows.clear();
  encoder->row_starts.assign(1, 0);
  encoder->rows.push_back({0, state.signal, state.step_index, 0, 0});
}

void emit(AdpcmEncoder *encoder, unsigned code, int signal, AdpcmCodes *codes) {
  codes->codes.push_back(static_cast<unsigned char>(code));
  codes->signal.push_back(static_cast<std::int16_t>(signal));
  ++encoder->emitted;
}

std::size_t last_row_size(const AdpcmEncoder *encoder) {
  return encoder->rows.size() - encoder->row_starts.back();
}

void add_path(AdpcmEncoder *encoder, const AdpcmPath &path) {
  std::size_t per_index = encoder->paths_per_index;
  std::size_t index = static_cast<std::size_t>(path.step_index);
  std::uint8_t &size = encoder->bucket_sizes[index];
  std::int64_t &worst = encoder->bucket_worst[index];
  if (size == per_index && path.cost >= worst) return;
  AdpcmPath *bucket = &encoder->buckets[index * per_index];
  std::size_t replace = size;
  for (std::size_t i = 0; i < size; ++i) {
    if (bucket[i].signal == path.signal) {
      // The same decoder state: only the cheaper way there can matter.
      if (path.cost >= bucket[i].cost) return;
      replace = i;
      break;
    }
  }
  if (replace == size && size == per_index) {
    for (std::size_t i = 0; i < size; ++i)
      if (bucket[i].cost == worst) {
        replace = i;
        break;
      }
  }
  bucket[replace] = path;
  if (replace == size) ++size;
  if (size == per_index) {
    worst = bucket[0].cost;
    for (std::size_t i = 1; i < size; ++i)
      if (bucket[i].cost > worst) worst = bucket[i].cost;
  }
}

// Every code from every kept path; the survivors become the next row.
void trellis_step(AdpcmEncoder *encoder, int target) {
  std::size_t begin = encoder->row_starts.back();
  std::size_t end = encoder->rows.size();
  encoder->bucket_sizes.assign(ADPCM_STEP_COUNT, 0);
  std::size_t per_index = encoder->paths_per_index;
  for (std::size_t i = begin; i < end; ++i) {
    const AdpcmPath from = encoder->rows[i];
    auto parent = static_cast<std::uint32_t>(i - begin);
    // The eight small codes all lead to the same step index, where only
    // per_index of them could stay: only their cheapest go on.
    AdpcmPath small[8];
    std::size_t small_count = 0;
    for (unsigned code = 0; code < 16; ++code) {
      AdpcmState state = {from.signal, from.step_index};
      adpcm_step(&state, code);
      std::int64_t error = target - state.signal;
      AdpcmPath path = {from.cost + error * error, state.signal,
                        state.step_index, parent, code};
      if ((code & 4) != 0) {
        add_path(encoder, path);
        continue;
      }
      // Insertion into the few cheapest, in order.
      std::size_t at = small_count < per_index ? small_count++ : per_index;
      if (at == per_index && path.cost >= small[per_index - 1].cost) continue;
      if (at == per_index) at = per_index - 1;
      while (at > 0 && small[at - 1].cost > path.cost) {
        small[at] = small[at - 1];
        --at;
      }
      small[at] = path;
    }
    for (std::size_t k = 0; k < small_count; ++k) add_path(encoder, small[k]);
  }
  encoder->row_starts.push_back(end);
  std::int64_t best = NO_COST;
  for (std::size_t index = 0; index < ADPCM_STEP_COUNT; ++index) {
    const AdpcmPath *bucket =
        &encoder->buckets[index * encoder->paths_per_index];
    for (std::size_t i = 0; i < encoder->bucket_sizes[index]; ++i)
      if (bucket[i].cost < best) best = bucket[i].cost;
  }
  // Paths that have fallen far behind the best, by many times the mean
  // error a sample, go: they are the bulk of the work and hardly ever win.
  std::int64_t limit = NO_COST;
  if (encoder->margin > 0) {
    std::int64_t mean =
        best / static_cast<std::int64_t>(encoder->row_starts.size());
    limit = best + encoder->margin * mean + MARGIN_FLOOR;
  }
  for (std::size_t index = 0; index < ADPCM_STEP_COUNT; ++index) {
    const AdpcmPath *bucket =
        &encoder->buckets[index * encoder->paths_per_index];
    for (std::size_t i = 0; i < encoder->bucket_sizes[index]; ++i)
      if (bucket[i].cost <= limit) encoder->rows.push_back(bucket[i]);
  }
}

// Gives out the path that ends at entry chosen of the last row, and starts
// again from its end.
void commit(AdpcmEncoder *encoder, std::size_t chosen, AdpcmCodes *codes) {
  std::size_t rows = encoder->row_starts.size();
  std::size_t first = codes->codes.size();
  codes->codes.resize(first + rows - 1);
  codes->signal.resize(first + rows - 1);
  std::size_t entry = chosen;
  for (std::size_t row = rows - 1; row > 0; --row) {
    const AdpcmPath &path = encoder->rows[encoder->row_starts[row] + entry];
    codes->codes[first + row - 1] = static_cast<unsigned char>(path.code);
    codes->signal[first + row - 1] = static_cast<std::int16_t>(path.signal);
    entry = path.parent;
  }
  encoder->emitted += rows - 1;
  const AdpcmPath &end = encoder->rows[encoder->row_starts.back() + chosen];
  encoder->decoder = {end.signal, end.step_index};
  start_rows(encoder, encoder->decoder);
}

std::size_t cheapest(const AdpcmEncoder *encoder) {
  std::size_t begin = encoder->row_starts.back();
  std::size_t best = 0;
  for (std::size_t i = 1; i < last_row_size(encoder); ++i)
    if (encoder->rows[begin + i].cost < encoder->rows[begin + best].cost)
      best = i;
  return best;
}

int distance_from_zero(int signal) { return signal < 0 ? -signal : signal; }

void settle(AdpcmEncoder *encoder, AdpcmCodes *codes) {
  if (distance_from_zero(encoder->decoder.signal) <= ADPCM_SETTLE_LEVEL) return;
  start_rows(encoder, encoder->decoder);
  // The trellis again, aiming at silence: the first row that reaches it
  // gives the fewest codes, its cheapest such path the gentlest way down.
  for (std::size_t n = 0; n < ADPCM_SETTLE_MAX_CODES; ++n) {
    trellis_step(encoder, 0);
    // Ending on an even count spares the padding code, which at a large
    // step could move the signal away again.
    if ((encoder->emitted + n + 1) % 2 != 0) continue;
    std::size_t begin = encoder->row_starts.back();
    std::size_t chosen = last_row_size(encoder);
    for (std::size_t i = 0; i < last_row_size(encoder); ++i) {
      const AdpcmPath &path = encoder->rows[begin + i];
      if (distance_from_zero(path.signal) <= ADPCM_SETTLE_LEVEL &&
          (chosen == last_row_size(encoder) ||
           path.cost < encoder->rows[begin + chosen].cost))
        chosen = i;
    }
    if (chosen < last_row_size(encoder)) {
      commit(encoder, chosen, codes);
      return;
    }
  }
  // Not within reach: as near as it came.
  std::size_t begin = encoder->row_starts.back();
  std::size_t nearest = 0;
  for (std::size_t i = 1; i < last_row_size(encoder); ++i)
    if (distance_from_zero(encoder->rows[begin + i].signal) <
        distance_from_zero(encoder->rows[begin + nearest].signal))
      nearest = i;
  commit(encoder, nearest, codes);
}

}  // namespace

void adpcm_encoder_start(AdpcmEncoder *encoder, AdpcmQuality quality) {
  encoder->quality = quality;
  encoder->paths_per_index = paths_per_index(quality);
  encoder->margin = margin(quality);
  encoder->emitted = 0;
  encoder->decoder = {0, 0};
  encoder->buckets.resize(ADPCM_STEP_COUNT * encoder->paths_per_index);
  encoder->bucket_sizes.assign(ADPCM_STEP_COUNT, 0);
  encoder->bucket_worst.assign(ADPCM_STEP_COUNT, NO_COST);
  encoder->rows.reserve((ADPCM_COMMIT_SAMPLES + 1) * ADPCM_STEP_COUNT *
                        encoder->paths_per_index);
  encoder->row_starts.reserve(ADPCM_COMMIT_SAMPLES + 1);
  start_rows(encoder, {0, 0});
}

void adpcm_encode(AdpcmEncoder *encoder, const std::int16_t *targets,
                  std::size_t count, AdpcmCodes *codes) {
  if (encoder->quality == ADPCM_QUALITY_FAST) {
    for (std::size_t i = 0; i < count; ++i) {
      AdpcmState best = encoder->decoder;
      adpcm_step(&best, 0);
      unsigned best_code = 0;
      for (unsigned code = 1; code < 16; ++code) {
        AdpcmState state = encoder->decoder;
        adpcm_step(&state, code);
        if (distance_from_zero(targets[i] - state.signal) <
            distance_from_zero(targets[i] - best.signal)) {
          best = state;
          best_code = code;
        }
      }
      encoder->decoder = best;
      emit(encoder, best_code, best.signal, codes);
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    trellis_step(encoder, targets[i]);
    if (encoder->row_starts.size() > ADPCM_COMMIT_SAMPLES)
      commit(encoder, cheapest(encoder), codes);
  }
}

void adpcm_encoder_finish(AdpcmEncoder *encoder, bool settle_end,
                          AdpcmCodes *codes) {
  if (encoder->quality != ADPCM_QUALITY_FAST)
    commit(encoder, cheapest(encoder), codes);
  if (settle_end) settle(encoder, codes);
  if (encoder->emitted % 2 == 0) return;
  AdpcmState from = encoder->decoder;
  AdpcmState best = from;
  adpcm_step(&best, 0);
  unsigned best_code = 0;
  for (unsigned code = 1; code < 16; ++code) {
    AdpcmState state = from;
    adpcm_step(&state, code);
    int moved = distance_from_zero(state.signal - from.signal);
    int best_moved = distance_from_zero(best.signal - from.signal);
    if (moved < best_moved ||
        (moved == best_moved &&
         distance_from_zero(state.signal) < distance_from_zero(best.signal))) {
      best = state;
      best_code = code;
    }
  }
  emit(encoder, best_code, best.signal, codes);
}

void adpcm_pack_codes(const unsigned char *codes, std::size_t count,
                      unsigned char *bytes) {
  for (std::size_t i = 0; i + 1 < count; i += 2)
    bytes[i / 2] = static_cast<unsigned char>((codes[i] & 15u) |
                                              ((codes[i + 1] & 15u) << 4));
}

std::uint64_t adpcm_count_clamps(const unsigned char *bytes, std::size_t count,
                                 AdpcmState *state) {
  std::uint64_t clamps = 0;
  for (std::size_t i = 0; i < 2 * count; ++i) {
    unsigned code = i % 2 == 0 ? bytes[i / 2] & 15u : bytes[i / 2] >> 4;
    int unclamped = state->signal + adpcm_difference(state->step_index, code);
    if (unclamped < ADPCM_SIGNAL_MIN || unclamped > ADPCM_SIGNAL_MAX) ++clamps;
    adpcm_step(state, code);
  }
  return clamps;
}
