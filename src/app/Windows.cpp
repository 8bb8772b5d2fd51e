#include "app/Windows.h"

#include "app/CommandLineFile.h"

ProgramWindows::ProgramWindows() : Main(Model) {
    QObject::connect(&Main, &TObrazek::FileDropped, &Main,
                     [this](const QString& path) { OpenCommandLineFile(Main, path); });
    Main.show();
}

ProgramWindows::~ProgramWindows() {
    Model.CloseVideo();
}
