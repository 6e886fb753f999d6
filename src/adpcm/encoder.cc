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
  return quality == ADPCM_QUALITY_GOOD ? 64 : 0;
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

// Each step index's sixteen moves, worked out once from the decoder's own
// functions, so that the search reads a table instead of shifting.
struct StepCodes {
  std::int16_t difference[16];
  std::uint8_t next_index[16];
};

struct StepTable {
  StepCodes at[ADPCM_STEP_COUNT];
};

constexpr StepTable make_step_table() {
  StepTable table = {};
  for (int index = 0; index < ADPCM_STEP_COUNT; ++index)
    for (unsigned code = 0; code < 16; ++code) {
      table.at[index].difference[code] =
          static_cast<std::int16_t>(adpcm_difference(index, code));
      table.at[index].next_index[code] =
          static_cast<std::uint8_t>(adpcm_next_index(index, code));
    }
  return table;
}

constexpr StepTable STEPS = make_step_table();

// The codes that keep or shrink the step; the others grow it, each to a
// step index of its own.
constexpr unsigned SMALL_CODES[8] = {0, 1, 2, 3, 8, 9, 10, 11};
constexpr unsigned SMALL_UP[5] = {0, 1, 2, 3, 8};
constexpr unsigned SMALL_DOWN[5] = {8, 9, 10, 11, 0};

// The cheapest cost any code reaches from path.
std::int64_t best_next_cost(const AdpcmPath &from, int target) {
  const StepCodes &moves = STEPS.at[from.step_index];
  std::int64_t best = NO_COST;
  for (unsigned code = 0; code < 16; ++code) {
    std::int64_t error =
        target - adpcm_clamp_signal(from.signal + moves.difference[code]);
    if (error * error < best) best = error * error;
  }
  return from.cost + best;
}

// The paths of the row being made, per_index at most per step index: a
// path reaching a (signal, step index) already held replaces it only when
// cheaper, and a full step index takes a path only in place of its dearest.
template <std::size_t per_index>
struct Buckets {
  AdpcmPath slot[ADPCM_STEP_COUNT][per_index];
  std::uint8_t size[ADPCM_STEP_COUNT] = {};
  std::int64_t worst[ADPCM_STEP_COUNT];  // the dearest, once full

  // Whether a path of cost could stay at index.
  bool takes(std::size_t index, std::int64_t cost) const {
    return size[index] < per_index || cost < worst[index];
  }

  void offer(std::size_t index, const AdpcmPath &path) {
    AdpcmPath *paths = slot[index];
    std::size_t count = size[index];
    std::size_t at = count;
    for (std::size_t i = 0; i < count; ++i)
      if (paths[i].signal == path.signal) {
        // The same decoder state: only the cheaper way there can matter.
        if (path.cost >= paths[i].cost) return;
        at = i;
        break;
      }
    if (at == count && count == per_index) {
      at = 0;
      for (std::size_t i = 1; i < count; ++i)
        if (paths[i].cost > paths[at].cost) at = i;
    }
    paths[at] = path;
    if (at == count) size[index] = static_cast<std::uint8_t>(++count);
    if (count == per_index) {
      std::int64_t dearest = paths[0].cost;
      for (std::size_t i = 1; i < count; ++i)
        if (paths[i].cost > dearest) dearest = paths[i].cost;
      worst[index] = dearest;
    }
  }
};

// Every code from every kept path; the survivors become the next row.
template <std::size_t per_index>
void trellis_step(AdpcmEncoder *encoder, int target) {
  std::size_t begin = encoder->row_starts.back();
  std::size_t end = encoder->rows.size();
  const AdpcmPath *row = encoder->rows.data();
  // Paths that fall far behind the best, by many times the mean error a
  // sample, go: they are the bulk of the work and hardly ever win. The
  // row's best is not known before it is made, but the cheapest path's
  // best code bounds it, and so bounds the limit: whatever costs more
  // would be dropped anyway, and is not even tried.
  std::int64_t limit = NO_COST;
  std::int64_t rows = static_cast<std::int64_t>(encoder->row_starts.size());
  if (encoder->margin > 0) {
    std::size_t cheapest_from = begin;
    for (std::size_t i = begin + 1; i < end; ++i)
      if (row[i].cost < row[cheapest_from].cost) cheapest_from = i;
    std::int64_t bound = best_next_cost(row[cheapest_from], target);
    limit = bound + encoder->margin * (bound / rows) + MARGIN_FLOOR;
  }
  Buckets<per_index> buckets;
  for (std::size_t i = begin; i < end; ++i) {
    const AdpcmPath from = row[i];
    if (from.cost > limit) continue;
    const StepCodes &moves = STEPS.at[from.step_index];
    auto parent = static_cast<std::uint32_t>(i - begin);
    // The eight small codes all lead to the same step index, where only
    // per_index of them could stay: only their cheapest go on.
    std::size_t small_index = moves.next_index[0];
    std::int64_t ceiling = limit;
    if (!buckets.takes(small_index, ceiling))
      ceiling = buckets.worst[small_index] - 1;
    // Toward the target, or the least step away: beside the least step
    // away, a larger one away cannot be among the two cheapest.
    unsigned toward = target >= from.signal ? 0 : 8;
    const unsigned *codes = per_index > 2 ? SMALL_CODES
                            : toward == 0 ? SMALL_UP
                                          : SMALL_DOWN;
    std::size_t code_count = per_index > 2 ? 8 : 5;
    AdpcmPath small[per_index];
    std::size_t small_count = 0;
    for (std::size_t c = 0; c < code_count; ++c) {
      unsigned code = codes[c];
      int signal = adpcm_clamp_signal(from.signal + moves.difference[code]);
      std::int64_t error = target - signal;
      std::int64_t cost = from.cost + error * error;
      if (cost > ceiling) continue;
      // Insertion into the few cheapest, in order.
      std::size_t at = small_count;
      if (at == per_index) {
        if (cost >= small[per_index - 1].cost) continue;
        --at;
      } else {
        ++small_count;
      }
      while (at > 0 && small[at - 1].cost > cost) {
        small[at] = small[at - 1];
        --at;
      }
      small[at] = {cost, signal, static_cast<std::int32_t>(small_index), parent,
                   code};
    }
    for (std::size_t k = 0; k < small_count; ++k)
      buckets.offer(small_index, small[k]);
    // A large step away from the target costs more than the same step
    // toward it, and such a path has not been seen to win.
    for (unsigned code = toward + 4; code < toward + 8; ++code) {
      int signal = adpcm_clamp_signal(from.signal + moves.difference[code]);
      std::int64_t error = target - signal;
      std::int64_t cost = from.cost + error * error;
      std::size_t index = moves.next_index[code];
      if (cost > limit || !buckets.takes(index, cost)) continue;
      buckets.offer(index, {cost, signal, static_cast<std::int32_t>(index),
                            parent, code});
    }
  }
  encoder->row_starts.push_back(end);
  std::int64_t best = NO_COST;
  for (std::size_t index = 0; index < ADPCM_STEP_COUNT; ++index)
    for (std::size_t i = 0; i < buckets.size[index]; ++i)
      if (buckets.slot[index][i].cost < best)
        best = buckets.slot[index][i].cost;
  if (encoder->margin > 0)
    limit = best + encoder->margin * (best / (rows + 1)) + MARGIN_FLOOR;
  std::size_t kept = 0;
  for (std::size_t index = 0; index < ADPCM_STEP_COUNT; ++index)
    for (std::size_t i = 0; i < buckets.size[index]; ++i)
      kept += buckets.slot[index][i].cost <= limit;
  encoder->rows.resize(end + kept);
  AdpcmPath *next = encoder->rows.data() + end;
  for (std::size_t index = 0; index < ADPCM_STEP_COUNT; ++index)
    for (std::size_t i = 0; i < buckets.size[index]; ++i)
      if (buckets.slot[index][i].cost <= limit)
        *next++ = buckets.slot[index][i];
}

void trellis_step(AdpcmEncoder *encoder, int target) {
  switch (encoder->paths_per_index) {
    case 1:
      return trellis_step<1>(encoder, target);
    case 2:
      return trellis_step<2>(encoder, target);
    default:
      return trellis_step<4>(encoder, target);
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
  encoder->rows.reserve((ADPCM_COMMIT_SAMPLES + 1) * ADPCM_STEP_COUNT *
                        encoder->paths_per_index);
  encoder->row_starts.reserve(ADPCM_COMMIT_SAMPLES + 1);
  start_rows(encoder, {0, 0});
}

void adpcm_encode(AdpcmEncoder *encoder, const std::int16_t *targets,
                  std::size_t count, AdpcmCodes *codes) {
  if (encoder->quality == ADPCM_QUALITY_FAST) {
    AdpcmState decoder = encoder->decoder;
    for (std::size_t i = 0; i < count; ++i) {
      const StepCodes &moves = STEPS.at[decoder.step_index];
      int best_signal =
          adpcm_clamp_signal(decoder.signal + moves.difference[0]);
      int best_distance = distance_from_zero(targets[i] - best_signal);
      unsigned best_code = 0;
      for (unsigned code = 1; code < 16; ++code) {
        int signal =
            adpcm_clamp_signal(decoder.signal + moves.difference[code]);
        int distance = distance_from_zero(targets[i] - signal);
        if (distance < best_distance) {
          best_signal = signal;
          best_distance = distance;
          best_code = code;
        }
      }
      decoder = {best_signal, moves.next_index[best_code]};
      emit(encoder, best_code, best_signal, codes);
    }
    encoder->decoder = decoder;
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
