#include "ResultFields.h"

#include "Error.h"
#include "UserDialogs.h"
#include "results/NumberText.h"
#include "results/ResultTable.h"

#include <QSignalBlocker>

#include <algorithm>

namespace torvi::gui {

void KeepNumberText(QLineEdit* field, const std::string& separator) {
    const auto edit = FilterNumberText(field->text().toStdU16String(),
                                       QString::fromStdString(separator).toStdU16String());
    if (!edit) return;
    // One pass gives the text that filtering each new text again would end
    // at, with the caret where the first removed character stood.
    const QSignalBlocker block(field);
    field->setText(QString::fromStdU16String(edit->Text));
    field->setCursorPosition(static_cast<int>(edit->Caret));
}

std::optional<std::string> AskResultFile(QWidget* parent, QLineEdit* framesPerSecond,
                                         QLineEdit* ticksPerTurn, const std::string& separator) {
    for (QLineEdit* field : {framesPerSecond, ticksPerTurn})
        if (field && field->text().isEmpty())
            field->setText(QString::fromStdString(DefaultedFieldText("")));
    try {
        CheckResultScale(framesPerSecond ? framesPerSecond->text().toStdString() : "1",
                         ticksPerTurn->text().toStdString(), separator);
    } catch (const Error& e) {
        Dialogs().ShowError(parent, QString::fromUtf8(e.what()), MessageIcon::None);
        return std::nullopt;
    }
    SaveFileRequest request;
    request.Title = QStringLiteral("Save result as");
    request.FileName = QStringLiteral("result.txt");
    request.Filters = QStringLiteral("soubor TXT (*.txt)");
    request.DefaultSuffix = QStringLiteral("txt");
    request.ConfirmOverwrite = true;
    const std::optional<QString> name = Dialogs().SaveFile(parent, request);
    if (!name) return std::nullopt;
    return CompleteResultFileName(name->toStdString());
}

QString FloodText(const std::vector<bool>& flooded) {
    const auto count = std::count(flooded.begin(), flooded.end(), true);
    if (count == 0) return {};
    return QStringLiteral("%1 of %2 frames are flooded: far more pixels passed for the hand than "
                          "a hand covers, so their directions mean nothing. Raise the contrast, "
                          "or measure the fine angle, which follows the lamp.")
        .arg(count)
        .arg(flooded.size());
}

} // namespace torvi::gui
