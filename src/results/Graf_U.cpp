#include "Graf_U.h"

TGraf* Graf = nullptr;

TGraf::TGraf(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Graph"));
}

void TGraf::MeasureRotation() { ResultsValid = true; }

void TGraf::FillChart() {}

void TGraf::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FillChart();
}
