#pragma once
// The steps of a batch of frames, in the order the batch runs them: the sources (oscillators, MIDI voice,
// Wave player), the modules outside the feedback loop and the loop itself, then the mixer. On x86-64
// the costliest steps also come in versions for wider vectors, chosen when the processor has them;
// every version gives the same bytes.

#include <cstdint>

#include "engine/batch_plan.h"
#include "engine/engine_state.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VOLTINA_WIDE_VECTORS 1
// For processors with 512-bit vectors: eight doubles to an operation.
#ifdef __clang__
#define VOLTINA_WIDEST_VECTORS \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"), min_vector_width(512)))
#else
#define VOLTINA_WIDEST_VECTORS \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,prefer-vector-width=512")))
#endif
#endif

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef VOLTINA_WIDE_VECTORS
#include <immintrin.h>
#endif

namespace voltina::batch {

// The widest vectors the steps may use, in bits: 512 unless a test asks for narrower.
int allowedVectorBits();
#ifdef VOLTINA_WIDE_VECTORS
// The processor has 512-bit vectors and they are allowed.
bool widestVectors();
#endif

// The oscillators, the MIDI voice and the Wave player, each over all the batch's frames.
void runSources(EngineState& s, const Plan& plan, Columns& columns, int count);
// A module outside the feedback loop, over all the batch's frames.
void runColumn(const ModuleRun& run, int count, const float (&sinusoiderTable)[256]);
// The feedback loop, frame by frame: its loneCount lone accumulators, then its n chained modules in
// the fixed order.
void runLoop(const ModuleRun* lone, int loneCount, const ModuleRun* chained, int n, int count,
             const float (&sinusoiderTable)[256]);
// The mixer: the bytes of the batch's frames.
void mixBatch(const Plan& plan, int count, std::uint8_t* leftBytes, std::uint8_t* rightBytes);

}  // namespace voltina::batch
