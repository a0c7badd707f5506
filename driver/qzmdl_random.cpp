// srand() walks the generator 310 steps each time; in the persistent mode that
// was a tenth of a redirect request's own instructions. The generator's state
// is glibc's default kind (31 words behind a type word, 128 bytes), which
// initstate() can put into a buffer of ours; a copy of that buffer taken right
// after a seeding tells whether anything drew a number since. The state after
// srand(seed) is fixed by the seed alone, so an untouched buffer is exactly
// what seeding again would produce.
#include "driver/qzmdl_random.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kStateBytes = 128;  // the default generator's state size

alignas(8) char g_state[kStateBytes];
alignas(8) char g_afterSeeding[kStateBytes];
bool g_owned = false;
unsigned g_lastSeed = 0;

}  // namespace

void QzmdlSeedRandom(unsigned seed, bool persistent) {
    if (!persistent) {
        // One request per process: the plain call, the generator left where it is.
        std::srand(seed);
        return;
    }
    if (!g_owned) {
        initstate(seed, g_state, kStateBytes);
        g_owned = true;
    } else {
        // Asking which state is current writes its position into its type
        // word, so a number drawn since shows in the comparison below as well.
        char *current = setstate(g_state);
        if (current != g_state) {
            // The program switched to a generator of its own: that one is seeded.
            setstate(current);
            std::srand(seed);
            return;
        }
        if (seed == g_lastSeed && std::memcmp(g_state, g_afterSeeding, kStateBytes) == 0) return;
        std::srand(seed);
    }
    g_lastSeed = seed;
    std::memcpy(g_afterSeeding, g_state, kStateBytes);
}
