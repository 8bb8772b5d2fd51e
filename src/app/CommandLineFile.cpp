#include "app/CommandLineFile.h"

#include "Error.h"
#include "FileTypes.h"
#include "formats/PictureFormats.h"
#include "widgets/UserDialogs.h"
#include "windows/Obrazek_U.h"

#include <QFileInfo>

namespace {

using torvi::gui::OpenDialogState;
using torvi::gui::UserDialogs;

// Answers the first open dialog with the given file, as the user would have
// chosen it; every other dialog is passed on to the dialogs in use before.
class ChosenFileAnswer final : public UserDialogs {
public:
    ChosenFileAnswer(UserDialogs& others, const QFileInfo& file, int filterIndex)
        : others_(others), file_(file), filterIndex_(filterIndex) {
        torvi::gui::SetDialogs(this);
    }
    ~ChosenFileAnswer() override { torvi::gui::SetDialogs(&others_); }

    void ShowError(QWidget* parent, const QString& text, torvi::gui::MessageIcon icon,
                   const QString& detail) override {
        others_.ShowError(parent, text, icon, detail);
    }

    std::optional<QString> OpenPicture(QWidget* parent, OpenDialogState& state) override {
        if (answered_) return others_.OpenPicture(parent, state);
        answered_ = true;
        state.Folder = file_.absolutePath();
        state.FileName = file_.fileName();
        state.FilterIndex = filterIndex_;
        return file_.absoluteFilePath();
    }

    std::optional<QString> SaveFile(QWidget* parent,
                                    const torvi::gui::SaveFileRequest& request) override {
        return others_.SaveFile(parent, request);
    }

private:
    UserDialogs& others_;
    QFileInfo file_;
    int filterIndex_;
    bool answered_ = false;
};

// The open dialog's type (1-based) for a file name; 0 for a type it does not list.
int OpenFilterIndexForName(const std::string& name) {
    const std::string fileExt = torvi::FileExtForName(name);
    for (std::size_t i = 0; i < torvi::OpenFilters.size(); ++i)
        if (!fileExt.empty() && fileExt == torvi::OpenFilters[i].FileExt)
            return static_cast<int>(i) + 1;
    return 0;
}

} // namespace

void OpenCommandLineFile(TObrazek& window, const QString& path) {
    const std::string name = path.toStdString();
    const int filterIndex = OpenFilterIndexForName(name);
    if (filterIndex == 0) {
        torvi::gui::ReportError(&window, torvi::UnknownPictureExtension(name));
        return;
    }
    const QFileInfo file(path);
    if (!file.isFile()) {
        torvi::gui::ReportError(&window, torvi::CannotOpenFile(name));
        return;
    }
    ChosenFileAnswer answer(torvi::gui::Dialogs(), file, filterIndex);
    window.OtevtGIF1Click();
}
