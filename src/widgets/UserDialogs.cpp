#include "UserDialogs.h"

#include "OpenPictureDialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>

namespace torvi::gui {

namespace {

class RealDialogs final : public UserDialogs {
public:
    void ShowError(QWidget* parent, const QString& text, MessageIcon icon,
                   const QString& detail) override {
        QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                        QStringLiteral("Error"), text, QMessageBox::Ok, parent);
        if (!detail.isEmpty()) box.setDetailedText(detail);
        box.exec();
    }

    std::optional<QString> OpenPicture(QWidget* parent, OpenDialogState& state) override {
        OpenPictureDialog dialog(parent, state);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.ChosenFile(state);
    }

    std::optional<QString> SaveFile(QWidget* parent, const SaveFileRequest& request) override {
        QFileDialog dialog(parent, request.Title);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(request.Filters);
        if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < types->count() && i < request.Captions.size(); ++i)
                types->setItemText(i, request.Captions[i]);
        dialog.setDefaultSuffix(request.DefaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.ConfirmOverwrite);
        dialog.selectFile(request.FileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
};

RealDialogs realDialogs;
UserDialogs* current = &realDialogs;

} // namespace

UserDialogs& Dialogs() {
    return *current;
}

void SetDialogs(UserDialogs* dialogs) {
    current = dialogs ? dialogs : &realDialogs;
}

void ReportError(QWidget* parent, const std::exception& error) {
    Dialogs().ShowError(parent, QString::fromUtf8(error.what()), MessageIcon::Stop);
}

} // namespace torvi::gui
