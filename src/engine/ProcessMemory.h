#pragma once

namespace torvi {

// Keeps the memory of a long film flat. A film is decoded on several
// threads, and by default each thread that allocates gets a malloc arena of
// its own, where the picture buffers it frees stay resident: 15 MB more at
// 1920 x 1080. Two arenas serve the reader's threads without contention
// worth measuring. And blocks of 4 MB and more (the pictures of large
// films, the decoder's picture buffers) are mapped and unmapped one by one:
// by default the threshold grows with the first large block freed, and the
// heap then keeps what is freed, so that a 3840 x 2160 film's run peaked
// 40-60 MB higher for pictures no longer held. Call at the start of main,
// before any thread starts.
void LimitMemoryArenas();

} // namespace torvi
