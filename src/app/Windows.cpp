#include "app/Windows.h"

ProgramWindows::ProgramWindows() : Main(Model) {
    Main.show();
}

ProgramWindows::~ProgramWindows() {
    Model.CloseVideo();
}
