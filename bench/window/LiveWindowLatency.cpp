// live-window-latency: how long a frame's value takes from its arrival in
// the live measurement to the live window's screen. Plays a film as a
// camera in the live window (offscreen), marks it, learns the background
// for two seconds and measures for the given time, then prints the median,
// 95th percentile and largest time from a frame's arrival to the paint of
// its value, and the frames measured and dropped. Not a test: the figures
// depend on the machine and its load.
//   QT_QPA_PLATFORM=offscreen live-window-latency FILM CX:CY TIPX:TIPY SECONDS

#include "widgets/CaptureWindowWidget.h"
#include "widgets/UserDialogs.h"
#include "windows/LiveWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

bool Pair(const char* text, int& a, int& b) {
    return std::sscanf(text, "%d:%d", &a, &b) == 2;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

// Runs the event loop until the condition holds or the time is up, looking
// every 10 ms (an idle loop, so that the window's own work is all there is).
template <typename Condition> bool WaitUntil(Condition condition, int milliseconds) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) loop.quit();
    });
    check.start(10);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

// Prints what the window would show in a box, instead of waiting for a click.
class PrintedDialogs final : public torvi::gui::UserDialogs {
public:
    void ShowError(QWidget*, const QString& text, torvi::gui::MessageIcon,
                   const QString&) override {
        std::fprintf(stderr, "live-window-latency: the window says: %s\n", qPrintable(text));
    }
    std::optional<QString> OpenPicture(QWidget*, torvi::gui::OpenDialogState&) override {
        return std::nullopt;
    }
    std::optional<QString> SaveFile(QWidget*, const torvi::gui::SaveFileRequest&) override {
        return std::nullopt;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PrintedDialogs dialogs;
    torvi::gui::SetDialogs(&dialogs);
    int cx = 0, cy = 0, tx = 0, ty = 0;
    if (argc != 5 || !Pair(argv[2], cx, cy) || !Pair(argv[3], tx, ty)) {
        std::fprintf(stderr, "usage: live-window-latency FILM CX:CY TIPX:TIPY SECONDS\n");
        return 2;
    }
    const int seconds = std::atoi(argv[4]);
    torvi::gui::SetCaptureDrivers(std::vector{torvi::CaptureSource::PlayedFilm(argv[1])});
    auto* window = new LiveWindow;
    std::vector<double> latencies;
    QObject::connect(window, &LiveWindow::valuePainted, [&](qint64 arrival) {
        const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        latencies.push_back(static_cast<double>(now - arrival) / 1000.0);
    });
    window->show();
    torvi::Measurement& session = window->Session;
    if (!WaitUntil([&] { return session.CurrentStep() == torvi::Step::MarkCentre; }, 10000)) {
        std::fprintf(stderr, "live-window-latency: the film did not open\n");
        return 1;
    }
    window->PictureClicked(Qt::LeftButton, cx, cy);
    window->PictureClicked(Qt::LeftButton, tx, ty);
    window->LearnClick();
    WaitUntil([] { return false; }, 2000);
    window->MeasureClick();
    WaitUntil([&] { return session.CurrentStep() != torvi::Step::Measuring; }, seconds * 1000);
    window->StopClick();
    std::printf("frames measured %zu, dropped %d, values painted %zu\n", session.DeviceFrames().size(),
                session.DroppedFrames(), latencies.size());
    std::printf("arrival to paint (ms): median %.1f, 95th percentile %.1f, largest %.1f\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.95),
                Percentile(latencies, 1.0));
    delete window;
    return latencies.empty() ? 1 : 0;
}
