#include "video/FilmReader.h"

#include "Error.h"

namespace torvi {

std::unique_ptr<FilmReader> FilmReader::Open(const std::string&, const OpenProgress&) {
    throw Error("Missing system video codec");
}

} // namespace torvi
