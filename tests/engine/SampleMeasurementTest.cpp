// The sample measurement shipped in samples/: measured with the clicks its
// README gives, the film and the picture sequence must find the angles the
// dial was painted at, across the crossing of 12 o'clock.

#include "FileTypes.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/Calibration.h"
#include "analysis/RotationMeasurement.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace torvi;

namespace {

std::string SampleFile(const std::string& name) {
    return (std::filesystem::path(TORVI_TEST_DATA).parent_path().parent_path() / "samples" / name)
        .string();
}

// The painted angles, "frame angle" per line as make-dial-frames lists them.
std::vector<int> PaintedAngles(const std::string& listName) {
    std::ifstream list(SampleFile(listName));
    std::vector<int> angles;
    int frame = 0, angle = 0;
    while (list >> frame >> angle)
        angles.push_back(angle);
    return angles;
}

// Difference of two directions on the dial, -180..179.
int DirectionDifference(int a, int b) {
    return ((a - b) % 360 + 540) % 360 - 180;
}

// The README's clicks: centre 160:120, tip 73:70 (radius 100).
MeasurementSettings SampleSettings() {
    MeasurementSettings settings;
    settings.CentreX = 160;
    settings.CentreY = 120;
    settings.HandRadius = RadiusOfClick(160, 120, 73, 70);
    return settings;
}

RotationResult MeasureSample(FrameSource& source, const FrameList& frames) {
    const MeasurementSettings settings = SampleSettings();
    const FrameLoader loader = FrameSourceLoader(source, frames);
    const int count = static_cast<int>(frames.size());
    Bitmap reference;
    BuildReferenceImage(count, loader, settings.Hand, reference);
    return MeasureHandRotation(count, loader, reference, settings);
}

void ExpectPaintedAngles(const RotationResult& result, const std::vector<int>& painted) {
    ASSERT_EQ(result.AngleSeries.size(), painted.size());
    // The sample crosses 12 o'clock, so the unwrap has something to do.
    ASSERT_GT(painted.front(), 180);
    ASSERT_LT(painted.back(), 180);
    int turned = 0;
    for (std::size_t i = 0; i < painted.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        if (i > 0) turned += DirectionDifference(painted[i], painted[i - 1]);
        EXPECT_LE(std::abs(DirectionDifference(result.AngleSeries[i], painted[i])), 1);
        EXPECT_LE(std::abs(result.UnwrappedSeries[i] - turned - result.UnwrappedSeries[0]), 1);
        // A thin hand on a clean dial: the peak is a clear line of votes,
        // not noise of the film's compression.
        EXPECT_GE(result.PeakVotes[i], 40u);
    }
}

} // namespace

TEST(SampleMeasurement, FilmGivesThePaintedAngles) {
    FrameSource source;
    const std::string film = SampleFile("dial.avi");
    source.FileExt = FileExtForName(film);
    source.Folder = FolderOf(film);
    const int last = source.OpenVideo(film);
    ASSERT_EQ(last, 49) << source.LastVideoError();
    const FrameList frames = FilmFrameList(last);
    const RotationResult forward = MeasureSample(source, frames);
    ExpectPaintedAngles(forward, PaintedAngles("dial-angles.txt"));

    // Read from the last frame back to the first, every frame must give the
    // same direction: a seek that lands one frame off would show here.
    const MeasurementSettings settings = SampleSettings();
    const FrameLoader loader = FrameSourceLoader(source, frames);
    const int count = static_cast<int>(frames.size());
    Bitmap reference;
    BuildReferenceImage(count, loader, settings.Hand, reference);
    const RotationResult backward = MeasureHandRotation(
        count, [&](int index, Bitmap& frame) { loader(count - 1 - index, frame); }, reference,
        settings);
    ASSERT_EQ(backward.AngleSeries.size(), forward.AngleSeries.size());
    for (std::size_t i = 0; i < forward.AngleSeries.size(); ++i)
        EXPECT_EQ(backward.AngleSeries[forward.AngleSeries.size() - 1 - i], forward.AngleSeries[i])
            << "frame " << i + 1;
}

TEST(SampleMeasurement, PictureSequenceGivesThePaintedAngles) {
    FrameSource source;
    source.FileExt = ".PNG";
    source.Folder = SampleFile("sequence");
    const FrameList frames = ListPictureSequence(source.Folder, source.FileExt, NameCollator());
    ASSERT_EQ(frames.size(), 13u);
    const RotationResult result = MeasureSample(source, frames);
    const std::vector<int> painted = PaintedAngles("sequence-angles.txt");
    ExpectPaintedAngles(result, painted);
    // Stored without loss, the pictures are read exactly.
    for (std::size_t i = 0; i < painted.size(); ++i)
        EXPECT_EQ(result.AngleSeries[i], painted[i]) << "picture " << i + 1;
}
