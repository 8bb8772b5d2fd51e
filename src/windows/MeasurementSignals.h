#pragma once

#include "measurement/Measurement.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QThread;
class QTimer;

// The measurement's reports as Qt signals, so that every window can follow
// what it needs of them, and its long runs on a worker thread. The
// measurement itself stays on the GUI thread: only the run object crosses.
// A measurement of a capture device is polled here every few milliseconds;
// a failure found by a poll is signalled once the poll has returned, so that
// a message box never runs inside the timer's call.
class MeasurementSignals : public QObject, public torvi::MeasurementObserver {
    Q_OBJECT
public:
    // Becomes the measurement's observer for its own lifetime.
    explicit MeasurementSignals(torvi::Measurement& model, QObject* parent = nullptr);
    ~MeasurementSignals() override;

    // Executes the run on a worker thread; when it has ended the measurement
    // takes its outcome and then done(success) runs, both on this thread.
    // False, with nothing started, for a refused run (null) or while another
    // runs.
    bool StartRun(std::unique_ptr<torvi::MeasurementRun> run, std::function<void(bool)> done = {});
    bool RunGoing() const { return thread_ != nullptr; }
    // Asks the run to end; it ends at its next frame and leaves no result.
    void CancelRun();
    // Cancels the run and waits for its thread, for a window that closes.
    void EndRun();

    void StepChanged(torvi::Step step) override { Q_EMIT stepChanged(step); }
    void ActivityChanged(torvi::Progress, const std::string& text) override {
        Q_EMIT activityChanged(QString::fromStdString(text));
    }
    void FrameCountChanged(const std::string& text) override {
        Q_EMIT frameCountChanged(QString::fromStdString(text));
    }
    void ProgressRangeChanged(int maximum) override { Q_EMIT progressRangeChanged(maximum); }
    void ProgressChanged(int value) override { Q_EMIT progressChanged(value); }
    void CentreChanged(int x, int y) override { Q_EMIT centreChanged(x, y); }
    void RadiusChanged(int radius) override { Q_EMIT radiusChanged(radius); }
    void FrameFieldChanged(const std::string& text) override {
        Q_EMIT frameFieldChanged(QString::fromStdString(text));
    }
    void PictureChanged(const torvi::Bitmap& picture) override { Q_EMIT pictureChanged(picture); }
    void MaskChanged(const torvi::Bitmap& masked) override { Q_EMIT maskChanged(masked); }
    void ContrastChanged(int value) override { Q_EMIT contrastChanged(value); }
    void FramesMeasured(std::size_t total) override {
        Q_EMIT framesMeasured(static_cast<qsizetype>(total));
    }
    void Failed(const torvi::Error& error) override;

Q_SIGNALS:
    void stepChanged(torvi::Step step);
    void activityChanged(const QString& text);
    void frameCountChanged(const QString& text);
    void progressRangeChanged(int maximum);
    void progressChanged(int value);
    void centreChanged(int x, int y);
    void radiusChanged(int radius);
    void frameFieldChanged(const QString& text);
    // The bitmaps are valid during the emission only.
    void pictureChanged(const torvi::Bitmap& picture);
    void maskChanged(const torvi::Bitmap& masked);
    void contrastChanged(int value);
    void failed(const QString& message, const QString& detail);
    void framesMeasured(qsizetype total);

private:
    void RunEnded();

    void Poll();

    torvi::Measurement& model_;
    QTimer* poll_ = nullptr;
    bool polling_ = false;
    std::unique_ptr<torvi::MeasurementRun> run_;
    std::function<void(bool)> done_;
    QThread* thread_ = nullptr;
};
