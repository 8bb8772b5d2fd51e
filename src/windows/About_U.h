#pragma once

#include <QDialog>

// The about box: program name, version and an OK button.
class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(QWidget* parent = nullptr);
};
