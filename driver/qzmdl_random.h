// Seeding of the standard pseudo-random generator at the start of a request.
#ifndef QZ_DRIVER_QZMDL_RANDOM_H
#define QZ_DRIVER_QZMDL_RANDOM_H

// Seeds rand() with `seed` exactly as srand(seed) does. A process that serves
// many requests seeds with the same second thousands of times; it skips the
// seeding when the generator still holds what the last seeding with that seed
// left (nothing drew a number since), which is the state srand would make.
void QzmdlSeedRandom(unsigned seed, bool persistent);

#endif
