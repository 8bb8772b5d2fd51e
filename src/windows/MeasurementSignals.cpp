#include "MeasurementSignals.h"

#include "Error.h"

#include <QThread>
#include <QTimer>

namespace {

// A poll costs a lock or two; a camera's every frame is taken within this.
constexpr int PollMilliseconds = 10;

} // namespace

MeasurementSignals::MeasurementSignals(torvi::Measurement& model, QObject* parent)
    : QObject(parent), model_(model) {
    model_.SetObserver(this);
    if (model_.SourceKind() == torvi::Measurement::Source::Device) {
        poll_ = new QTimer(this);
        poll_->setInterval(PollMilliseconds);
        connect(poll_, &QTimer::timeout, this, &MeasurementSignals::Poll);
        poll_->start();
    }
}

void MeasurementSignals::Poll() {
    polling_ = true;
    model_.Poll();
    polling_ = false;
}

MeasurementSignals::~MeasurementSignals() {
    if (poll_) poll_->stop();
    EndRun();
    model_.SetObserver(nullptr);
}

void MeasurementSignals::Failed(const torvi::Error& error) {
    const QString message = QString::fromUtf8(error.what());
    const QString detail = QString::fromUtf8(error.Detail().c_str());
    if (!polling_) {
        Q_EMIT failed(message, detail);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, message, detail] { Q_EMIT failed(message, detail); }, Qt::QueuedConnection);
}

bool MeasurementSignals::StartRun(std::unique_ptr<torvi::MeasurementRun> run,
                                  std::function<void(bool)> done) {
    if (!run) return false;
    if (thread_) {
        // Cannot happen while the measurement refuses a second run; give
        // this one back unused so the measurement leaves its running state.
        run->Cancel();
        run->Execute({});
        model_.FinishRun(*run);
        return false;
    }
    run_ = std::move(run);
    done_ = std::move(done);
    torvi::MeasurementRun* work = run_.get();
    thread_ = QThread::create([this, work] {
        work->Execute([this](int index) {
            QMetaObject::invokeMethod(
                this,
                [this, index] {
                    if (model_.Running()) model_.RunProgress(index);
                },
                Qt::QueuedConnection);
        });
    });
    connect(thread_, &QThread::finished, this, &MeasurementSignals::RunEnded, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void MeasurementSignals::CancelRun() {
    if (run_) run_->Cancel();
}

void MeasurementSignals::EndRun() {
    if (!thread_) return;
    CancelRun();
    thread_->wait();
    RunEnded();
}

void MeasurementSignals::RunEnded() {
    if (!thread_) return; // already ended by EndRun
    // Progress still queued belongs to the run that ended.
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    auto run = std::move(run_);
    auto done = std::move(done_);
    const bool ok = model_.FinishRun(*run);
    if (done) done(ok);
}
