#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

class UpDown;

// The group both measurement windows show their marks in: "Centre:",
// "Radius of big hand:", the contrast field with its arrows (0..255, the
// field follows the arrows) and the hand colour, "B" checked. Every control
// starts disabled; the window enables what the measurement's step allows.
struct MarkingGroup {
    QGroupBox* Box = nullptr;
    QLabel* CentreText = nullptr;
    QLabel* RadiusText = nullptr;
    QLineEdit* ContrastField = nullptr;
    UpDown* ContrastArrows = nullptr;
    QLabel* ContrastNote = nullptr; // beside the arrows, empty
    QRadioButton* DarkHand = nullptr;
    QRadioButton* LightHand = nullptr;
};

MarkingGroup NewMarkingGroup(QWidget* parent, int contrast);
