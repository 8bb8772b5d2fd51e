#pragma once

#include "video/FilmIndex.h"
#include "video/FilmReader.h"

#include <memory>
#include <string>

namespace torvi {

// Indexes the film's first video stream: every packet in decoding order and
// the pictures numbered in presentation order, straight from the demuxer for
// codecs that never reorder (from an AVI's own index without reading its
// pictures), by the container's presentation timestamps where they can be
// trusted (MP4, MOV, MKV), from MPEG-4 picture headers in AVI files, and
// otherwise by decoding the film once. Calls `progress` now and then with the
// bytes read and the file's size. Throws Error with the reason when the file
// cannot be read as a film, has no video stream or no decoder for it, and
// OpenAbandoned when `progress` returns false. Safe to call on any thread;
// the index may then be handed to readers on other threads.
std::shared_ptr<const FilmIndex> IndexFilm(const std::string& path,
                                           const OpenProgress& progress = {});

} // namespace torvi
