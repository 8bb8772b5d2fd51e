#pragma once

#include <QLineEdit>

#include <optional>
#include <string>
#include <vector>

namespace torvi::gui {

// Keeps a number field to what the result table can take: characters other
// than digits, a sign and the user's decimal separator are taken out as they
// are typed, the caret where the first of them stood.
void KeepNumberText(QLineEdit* field, const std::string& separator);

// Before a result table is written: an empty rate or ticks field takes "1"
// (shown in the field), fields that do not convert are refused with the
// program's message, and the save dialog asks where the table goes ("Save
// result as", "result.txt"). The name chosen, ".txt" added when it has no
// extension; nothing when refused or cancelled. A live window, whose rate
// comes from the device, gives no rate field.
std::optional<std::string> AskResultFile(QWidget* parent, QLineEdit* framesPerSecond,
                                         QLineEdit* ticksPerTurn, const std::string& separator);

// What the windows say after a run in which the contrast rule flooded some
// frames (far more pixels passed for the hand than a hand covers); empty
// when it flooded none.
QString FloodText(const std::vector<bool>& flooded);

} // namespace torvi::gui
