#pragma once

#include "widgets/UserDialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

// Answers the program's dialogs from a script and records what was shown.
class ScriptedDialogs final : public torvi::gui::UserDialogs {
public:
    struct OpenAnswer {
        std::optional<QString> Path; // nullopt: the user cancels
        int FilterIndex = 1;
    };

    std::deque<OpenAnswer> OpenAnswers;
    std::deque<std::optional<QString>> SaveAnswers;

    QStringList Errors;
    QList<torvi::gui::MessageIcon> ErrorIcons;
    QList<torvi::gui::SaveFileRequest> SaveRequests;
    int OpenCount = 0;

    QStringList Details;

    void ShowError(QWidget*, const QString& text, torvi::gui::MessageIcon icon,
                   const QString& detail) override {
        Errors << text;
        Details << detail;
        ErrorIcons << icon;
    }

    std::optional<QString> OpenPicture(QWidget*, torvi::gui::OpenDialogState& state) override {
        ++OpenCount;
        if (OpenAnswers.empty()) return std::nullopt;
        OpenAnswer answer = OpenAnswers.front();
        OpenAnswers.pop_front();
        if (!answer.Path) return std::nullopt;
        state.FilterIndex = answer.FilterIndex;
        const auto slash = answer.Path->lastIndexOf(QLatin1Char('/'));
        state.Folder = answer.Path->left(slash);
        state.FileName = answer.Path->mid(slash + 1);
        return answer.Path;
    }

    std::optional<QString> SaveFile(QWidget*, const torvi::gui::SaveFileRequest& request) override {
        SaveRequests << request;
        if (SaveAnswers.empty()) return std::nullopt;
        auto answer = SaveAnswers.front();
        SaveAnswers.pop_front();
        return answer;
    }

    // Installs itself for the lifetime of the object.
    ScriptedDialogs() { torvi::gui::SetDialogs(this); }
    ~ScriptedDialogs() override { torvi::gui::SetDialogs(nullptr); }
};
