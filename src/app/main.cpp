#include "app/Windows.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvi"));
    ProgramWindows program;
    return QApplication::exec();
}
