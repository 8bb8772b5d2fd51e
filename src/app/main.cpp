#include "Windows.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvi"));
    CreateWindows();
    const int result = QApplication::exec();
    DestroyWindows();
    return result;
}
