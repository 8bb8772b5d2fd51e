#include "video/FilmReader.h"

#include "video/FfmpegFilmReader.h"
#include "video/FilmIndexer.h"

#include <utility>

namespace torvi {

std::unique_ptr<FilmReader> FilmReader::Open(const std::string& path,
                                             const OpenProgress& progress) {
    return std::make_unique<FfmpegFilmReader>(path, IndexFilm(path, progress), true);
}

std::unique_ptr<FilmReader> FilmReader::Open(const std::string& path,
                                             std::shared_ptr<const FilmIndex> index) {
    return std::make_unique<FfmpegFilmReader>(path, std::move(index));
}

} // namespace torvi
