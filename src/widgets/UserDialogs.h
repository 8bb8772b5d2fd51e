#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <optional>

class QWidget;

namespace torvi::gui {

enum class MessageIcon { None, Stop };

// What a save dialog is asked: title, proposed name, type filters in Qt's
// "Text (*.a *.b);;Other (*.c)" form, the suffix added to a name typed
// without one, and whether to ask before an existing file is replaced.
struct SaveFileRequest {
    QString Title;
    QString FileName;
    QString Filters;
    // The texts the type box shows, one per filter, when they differ from
    // what Qt's filter syntax allows ("Tiff (*.tif, *.tiff)").
    QStringList Captions;
    QString DefaultSuffix;
    bool ConfirmOverwrite = true;
};

// The open dialog's memory between two uses: folder, file name and the
// selected type (1-based index into the type list).
struct OpenDialogState {
    QString Folder;
    QString FileName;
    int FilterIndex = 1;
};

// Every dialog and message box of the program goes through this interface,
// so the window tests can answer them and see what was shown.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A modal box titled "Error" with one OK button; a detail, when there is
    // one (a library's own reason), goes under the box's "Show Details...".
    virtual void ShowError(QWidget* parent, const QString& text, MessageIcon icon,
                           const QString& detail = QString()) = 0;

    // The picture-open dialog. On confirmation returns the chosen file's full
    // path and updates the state (folder, name, selected type); nullopt when
    // the user cancels.
    virtual std::optional<QString> OpenPicture(QWidget* parent, OpenDialogState& state) = 0;

    // A save dialog; nullopt when the user cancels.
    virtual std::optional<QString> SaveFile(QWidget* parent, const SaveFileRequest& request) = 0;
};

// The dialogs in use: the real ones unless a test installed its own.
UserDialogs& Dialogs();
// Installs other dialogs (nullptr restores the real ones); the caller keeps
// ownership.
void SetDialogs(UserDialogs* dialogs);

// The program's general error report: shows the error's text in an "Error"
// box with the stop icon. Used where an action ends on an error that no
// step of it expects (a picture that cannot be decoded, a file that cannot be
// written).
void ReportError(QWidget* parent, const std::exception& error);

// Runs an action of a window and reports any error it raises; returns false
// when it ended on an error.
template <typename Action> bool Guarded(QWidget* parent, Action&& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        ReportError(parent, e);
    }
    return false;
}

} // namespace torvi::gui
