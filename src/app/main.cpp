#include "app/CommandLineFile.h"
#include "app/Windows.h"

#include "ProcessMemory.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    torvi::LimitMemoryArenas();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvi"));
    // The desktop finds the menu entry, and so the icon, of the window by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TORVI_APP_ID));
    ProgramWindows program;
    // A film or picture given on the command line is opened once the window
    // is on screen, so its progress and any error box show over it.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString file = arguments.at(1);
        QTimer::singleShot(0, &program.Main,
                           [&program, file] { OpenCommandLineFile(program.Main, file); });
    }
    return QApplication::exec();
}
