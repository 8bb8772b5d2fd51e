#include "FrameSource.h"

#include "Error.h"
#include "FileTypes.h"
#include "PictureFiles.h"

#include <charconv>

namespace torvi {

bool FrameSource::LoadFrame(const std::string& reference, Bitmap& bitmap) {
    if (IsFilmExt(FileExt)) {
        // A film's frames are decoded before their size is known; the
        // analysis compares them once delivered.
        const ExpectedPictureSize anySize(0, 0);
        int index = 0;
        const char* end = reference.data() + reference.size();
        const auto [ptr, ec] = std::from_chars(reference.data(), end, index);
        return ec == std::errc() && ptr == end && GetVideoFrame(index, bitmap);
    }
    const std::string path =
        reference.find('/') != std::string::npos ? reference : Folder + "/" + reference;
    bitmap = LoadPictureFile(path, FileExt);
    return true;
}

template <typename Opening> int FrameSource::Open(const Opening& open) {
    CloseVideo();
    lastVideoError_.clear();
    lastOpenAbandoned_ = false;
    try {
        film_ = open();
    } catch (const OpenAbandoned& e) {
        lastVideoError_ = e.what();
        lastOpenAbandoned_ = true;
        return -1;
    } catch (const Error& e) {
        lastVideoError_ = e.what();
        return -1;
    }
    return film_->FrameCount() - 1;
}

int FrameSource::OpenVideo(const std::string& path, const OpenProgress& progress) {
    return Open([&] { return FilmReader::Open(path, progress); });
}

int FrameSource::OpenVideo(const std::string& path, std::shared_ptr<const FilmIndex> index) {
    if (!index) return OpenVideo(path);
    return Open([&] { return FilmReader::Open(path, std::move(index)); });
}

bool FrameSource::GetVideoFrame(int index, Bitmap& bitmap) {
    if (!film_ || index < 0 || index >= film_->FrameCount()) return false;
    return film_->GetFrame(index, bitmap, Square ? &*Square : nullptr);
}

void FrameSource::CloseVideo() {
    film_.reset();
}

FrameLoader FrameSourceLoader(FrameSource& source, const FrameList& frames) {
    return [&source, &frames](int index, Bitmap& frame) {
        if (index < 0 || static_cast<std::size_t>(index) >= frames.size())
            throw CannotReadFrame(index);
        if (!source.LoadFrame(frames[static_cast<std::size_t>(index)], frame)) {
            // A film's reason travels with the error, so the user sees why.
            const std::string reason = source.LastFrameFailure();
            if (!reason.empty()) throw CannotReadFrame(index, reason);
            frame = Bitmap();
        }
    };
}

} // namespace torvi
