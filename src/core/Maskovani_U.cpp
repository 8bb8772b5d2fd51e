#include "Maskovani_U.h"

#include <QFrame>
#include <QLabel>

TMaskovani* Maskovani = nullptr;

TMaskovani::TMaskovani(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Masking"));
    move(348, 136);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->move(0, 0);
    Image1 = new QLabel(this);
    Image1->move(0, 0);
}

std::uint8_t TMaskovani::Kontrast(std::int16_t) const { return 0; }

void TMaskovani::Obraz(const std::string&) {}

void TMaskovani::FormShow() { ContrastThreshold = 60; }

void TMaskovani::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}
