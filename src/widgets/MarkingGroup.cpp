#include "MarkingGroup.h"

#include "UpDown.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

MarkingGroup NewMarkingGroup(QWidget* parent, int contrast) {
    MarkingGroup g;
    g.Box = new QGroupBox(parent);
    auto* rows = new QVBoxLayout(g.Box);
    rows->setContentsMargins(6, 4, 4, 4);
    rows->setSpacing(2);
    auto row = [&](const QString& caption) {
        auto* line = new QHBoxLayout;
        line->setSpacing(4);
        line->addWidget(new QLabel(caption, g.Box));
        rows->addLayout(line);
        return line;
    };
    g.CentreText = new QLabel(g.Box);
    row(QStringLiteral("Centre:"))->addWidget(g.CentreText, 1);
    g.RadiusText = new QLabel(g.Box);
    row(QStringLiteral("Radius of big hand:"))->addWidget(g.RadiusText, 1);
    g.ContrastField = new QLineEdit(QString::number(contrast), g.Box);
    g.ContrastField->setReadOnly(true);
    g.ContrastField->setFixedWidth(36);
    g.ContrastField->setEnabled(false);
    g.ContrastArrows = new UpDown(g.Box);
    g.ContrastArrows->SetRange(0, 255);
    g.ContrastArrows->SetPosition(contrast);
    g.ContrastArrows->setEnabled(false);
    g.ContrastArrows->Associate(g.ContrastField);
    g.ContrastNote = new QLabel(g.Box);
    QHBoxLayout* contrastRow = row(QStringLiteral("Contrast:"));
    contrastRow->setSpacing(0);
    contrastRow->addWidget(g.ContrastField);
    contrastRow->addWidget(g.ContrastArrows);
    contrastRow->addWidget(g.ContrastNote, 1);
    g.DarkHand = new QRadioButton(QStringLiteral("B"), g.Box);
    g.LightHand = new QRadioButton(QStringLiteral("W"), g.Box);
    g.DarkHand->setChecked(true);
    g.DarkHand->setEnabled(false);
    g.LightHand->setEnabled(false);
    QHBoxLayout* maskingRow = row(QStringLiteral("Masking:"));
    maskingRow->addWidget(g.DarkHand);
    maskingRow->addWidget(g.LightHand);
    maskingRow->addStretch();
    return g;
}
