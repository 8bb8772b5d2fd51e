#include "OpenPictureDialog.h"

#include "BitmapImage.h"
#include "FileTypes.h"
#include "PictureFiles.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

namespace torvi::gui {

namespace {

constexpr int PreviewSize = 180;

// Qt reads a type's name patterns from the parentheses at the end of its
// text, separated by blanks. The shown texts list them with commas, so the
// dialog gets a list Qt can read and the type box shows the program's texts.
QString QtFilterFor(const torvi::OpenFilter& filter) {
    const QString patterns =
        QString::fromLatin1(filter.Patterns).replace(QLatin1Char(';'), QLatin1Char(' '));
    return QString::fromLatin1(filter.Text) + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

} // namespace

OpenPictureDialog::OpenPictureDialog(QWidget* parent, const OpenDialogState& state)
    : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ReadOnly);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setSizeGripEnabled(true);

    QStringList filters;
    for (const auto& f : torvi::OpenFilters)
        filters << QtFilterFor(f);
    setNameFilters(filters);
    if (auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count() && i < static_cast<int>(torvi::OpenFilters.size()); ++i)
            types->setItemText(
                i, QString::fromLatin1(torvi::OpenFilters[static_cast<std::size_t>(i)].Text));
    }
    const int index = std::clamp(state.FilterIndex, 1, static_cast<int>(filters.size()));
    selectNameFilter(filters[index - 1]);
    if (!state.Folder.isEmpty()) setDirectory(state.Folder);
    if (!state.FileName.isEmpty()) selectFile(state.FileName);

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setFixedSize(PreviewSize, PreviewSize);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview_, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::ShowPreview);
}

void OpenPictureDialog::ShowPreview(const QString& path) {
    preview_->clear();
    const QFileInfo info(path);
    if (!info.isFile()) return;
    const std::string name = path.toStdString();
    if (torvi::IsFilmExt(torvi::FileExtForName(name))) {
        preview_->setText(tr("Film"));
        return;
    }
    try {
        const QImage image = ToQImage(torvi::LoadAnyPicture(name));
        if (image.isNull()) return;
        preview_->setPixmap(QPixmap::fromImage(image.scaled(
            PreviewSize - 4, PreviewSize - 4, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } catch (const std::exception&) {
        preview_->setText(tr("No preview"));
    }
}

bool OpenPictureDialog::CanClose(const QString& fileName) {
    return torvi::IsAcceptedPictureName(fileName.toStdString());
}

void OpenPictureDialog::accept() {
    // A folder is entered as usual; a file of another type keeps the dialog open.
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && QFileInfo(files.constFirst()).isFile() && !CanClose(files.constFirst()))
        return;
    QFileDialog::accept();
}

int OpenPictureDialog::SelectedFilterIndex() const {
    // The type box shows the program's own texts, so ask it for its position.
    if (const auto* types = findChild<const QComboBox*>(QStringLiteral("fileTypeCombo")))
        return types->currentIndex() + 1;
    return static_cast<int>(nameFilters().indexOf(selectedNameFilter())) + 1;
}

QString OpenPictureDialog::ChosenFile(OpenDialogState& state) const {
    const QString file = selectedFiles().value(0);
    const QFileInfo info(file);
    state.Folder = info.absolutePath();
    state.FileName = info.fileName();
    state.FilterIndex = std::max(SelectedFilterIndex(), 1);
    return info.absoluteFilePath();
}

} // namespace torvi::gui
