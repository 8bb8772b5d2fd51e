#pragma once

#include "UserDialogs.h"

#include <QFileDialog>

class QLabel;

namespace torvi::gui {

// The picture-open dialog: the program's type list, a preview of the
// selected picture, and acceptance of the known picture and film types only
// (another name keeps the dialog open, without a message).
class OpenPictureDialog : public QFileDialog {
    Q_OBJECT
public:
    OpenPictureDialog(QWidget* parent, const OpenDialogState& state);

    // The chosen file; stores folder, name and selected type in the state.
    QString ChosenFile(OpenDialogState& state) const;

    // The acceptance test on a chosen file name.
    static bool CanClose(const QString& fileName);

    void accept() override;

private:
    void ShowPreview(const QString& path);
    int SelectedFilterIndex() const;

    QLabel* preview_ = nullptr;
};

} // namespace torvi::gui
