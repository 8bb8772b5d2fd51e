// window-measurement-time: how long the main window takes to open a film
// (Open until its first frame shows), to calibrate ("OK" until the contrast
// step) and to measure ("&Graph" until the graph would show), offscreen,
// with the clicks given. Prints the three times in seconds. Not a test: the
// figures depend on the machine and its load.
//   QT_QPA_PLATFORM=offscreen window-measurement-time FILM CX:CY TIPX:TIPY

#include "app/Windows.h"
#include "widgets/PictureView.h"
#include "widgets/UserDialogs.h"
#include "windows/Graf_U.h"
#include "windows/MeasurementSignals.h"
#include "windows/Obrazek_U.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

bool Pair(const char* text, int& a, int& b) {
    return std::sscanf(text, "%d:%d", &a, &b) == 2;
}

template <typename Condition> bool WaitUntil(Condition condition, int milliseconds) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) loop.quit();
    });
    check.start(1);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

// Answers the open dialog with the film and closes the graph at once.
class ScriptedDialogs final : public torvi::gui::UserDialogs {
public:
    explicit ScriptedDialogs(QString film) : film_(std::move(film)) {}
    void ShowError(QWidget*, const QString& text, torvi::gui::MessageIcon,
                   const QString&) override {
        std::fprintf(stderr, "window-measurement-time: the window says: %s\n", qPrintable(text));
    }
    std::optional<QString> OpenPicture(QWidget*, torvi::gui::OpenDialogState& state) override {
        state.FilterIndex = 1;
        return film_;
    }
    std::optional<QString> SaveFile(QWidget*, const torvi::gui::SaveFileRequest&) override {
        return std::nullopt;
    }

private:
    QString film_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int cx = 0, cy = 0, tx = 0, ty = 0;
    if (argc != 4 || !Pair(argv[2], cx, cy) || !Pair(argv[3], tx, ty)) {
        std::fprintf(stderr, "usage: window-measurement-time FILM CX:CY TIPX:TIPY\n");
        return 2;
    }
    ScriptedDialogs dialogs{QString::fromLocal8Bit(argv[1])};
    torvi::gui::SetDialogs(&dialogs);
    ProgramWindows program;
    TObrazek& w = program.Main;
    const int hour = 3600 * 1000;
    auto idle = [&] { return !w.Signals->RunGoing(); };

    auto start = std::chrono::steady_clock::now();
    w.OtevtGIF1Click();
    WaitUntil(idle, hour);
    const double open = Seconds(start);

    w.Image1MouseDown(Qt::LeftButton, cx, cy);
    w.Image1MouseDown(Qt::LeftButton, tx, ty);
    start = std::chrono::steady_clock::now();
    w.Button2->click();
    WaitUntil(idle, hour);
    const double calibrate = Seconds(start);

    // The graph is a modal dialog: it is closed as soon as it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (w.Graf->isVisible()) w.Graf->reject();
    });
    closer.start(1);
    start = std::chrono::steady_clock::now();
    w.BitBtn3->click();
    WaitUntil(idle, hour);
    const double measure = Seconds(start);
    std::printf("open %.3f s, calibrate %.3f s, measure %.3f s\n", open, calibrate, measure);
    return 0;
}
