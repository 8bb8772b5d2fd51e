#include "video/MjpegSquarePass.h"

#include "video/MjpegSquareDecoder.h"

#include <cstdio>
#include <cstring>

namespace torvi {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The bytes of a packet, read where the index says it lies, into
// data[offset .. offset + Size - 1]; false when they cannot be read or do not
// start a JPEG picture. An AVI's index gives the position of the packet's
// chunk header, eight bytes before its data; other containers the data's own.
bool ReadPacket(std::FILE* file, const FilmPacket& packet, std::vector<std::uint8_t>& data,
                std::size_t& offset) {
    constexpr std::size_t ChunkHeader = 8;
    if (!file || packet.Pos < 0 || packet.Size < 4) return false;
    const auto size = static_cast<std::size_t>(packet.Size);
    data.resize(size + ChunkHeader);
    if (fseeko(file, static_cast<off_t>(packet.Pos), SEEK_SET) != 0) return false;
    const std::size_t got = std::fread(data.data(), 1, data.size(), file);
    const auto startsJpeg = [&](std::size_t at) {
        return got >= at + size && data[at] == 0xFF && data[at + 1] == 0xD8;
    };
    if (startsJpeg(0))
        offset = 0;
    else if (startsJpeg(ChunkHeader))
        offset = ChunkHeader;
    else
        return false;
    return true;
}

} // namespace

MjpegSquarePass::MjpegSquarePass(const std::string& path, std::shared_ptr<const FilmIndex> index,
                                 int width, int height, const PixelSquare& square, int first)
    : path_(path), index_(std::move(index)), width_(width), height_(height), square_(square),
      slots_(Ahead), next_(first), claimed_(first) {
    try {
        for (int i = 0; i < Workers; ++i)
            workers_.emplace_back([this] { Work(); });
    } catch (...) {
        Stop(); // a thread that could not start: the ones that did end first
        throw;
    }
}

MjpegSquarePass::~MjpegSquarePass() {
    Stop();
}

void MjpegSquarePass::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    for (std::thread& worker : workers_)
        worker.join();
}

void MjpegSquarePass::Work() {
    // Whatever ends a decode, even a failed allocation, the frame is marked
    // done (refused), so the caller never waits for it in vain.
    std::unique_ptr<MjpegSquareDecoder> decoder;
    File file;
    try {
        decoder = std::make_unique<MjpegSquareDecoder>();
        file.reset(std::fopen(path_.c_str(), "rb"));
    } catch (...) { // NOLINT(bugprone-empty-catch): every frame is refused below
    }
    std::vector<std::uint8_t> data;
    const auto size =
        static_cast<std::size_t>(square_.Width) * static_cast<std::size_t>(square_.Height);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return stop_ || claimed_ >= index_->FrameCount() || claimed_ < next_ + Ahead;
        });
        if (stop_ || claimed_ >= index_->FrameCount()) return;
        const int frame = claimed_++;
        Slot& slot = slots_[static_cast<std::size_t>(frame % Ahead)];
        lock.unlock();
        // The slot is this thread's until it says Done: the caller has taken
        // the frame that used it before.
        Outcome result = Outcome::FilmRefused;
        try {
            slot.Grey.resize(size);
            const FilmPacket& packet =
                index_->Packets[static_cast<std::size_t>(index_->PacketOf(frame))];
            std::size_t offset = 0;
            if (decoder && ReadPacket(file.get(), packet, data, offset)) {
                switch (decoder->Decode(data.data() + offset, static_cast<std::size_t>(packet.Size),
                                        width_, height_, square_, slot.Grey.data(),
                                        square_.Width)) {
                case MjpegSquareOutcome::Decoded:
                    result = Outcome::Decoded;
                    break;
                case MjpegSquareOutcome::BrokenData:
                    result = Outcome::FrameRefused;
                    break;
                default:
                    break;
                }
            } else if (decoder && file && packet.Size == 0) {
                result = Outcome::FrameRefused; // a dropped frame shows the one before
            }
        } catch (...) {
            result = Outcome::FrameRefused;
        }
        lock.lock();
        slot.Frame = frame;
        slot.Result = result;
        slot.Done = true;
        changed_.notify_all();
    }
}

MjpegSquarePass::Outcome MjpegSquarePass::Take(Bitmap& picture) {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(next_ % Ahead)];
    changed_.wait(lock, [&] { return slot.Done && slot.Frame == next_; });
    const Outcome result = slot.Result;
    if (result == Outcome::Decoded) {
        picture.AllocateLumaGrey();
        for (int row = 0; row < square_.Height; ++row)
            std::memcpy(picture.LumaGreyLine(square_.Y0 + row) + square_.X0,
                        slot.Grey.data() +
                            static_cast<std::size_t>(row) * static_cast<std::size_t>(square_.Width),
                        static_cast<std::size_t>(square_.Width));
    }
    slot.Done = false;
    slot.Frame = -1;
    ++next_;
    changed_.notify_all();
    return result;
}

} // namespace torvi
