#pragma once
// Records every message box and answers confirmations and file dialogs as a test tells it.

#include "widgets/dialogs.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class FakeDialogs final : public Dialogs {
public:
    struct Shown {
        QString text;
        QString caption;
    };

    FakeDialogs() { set_dialogs(this); }
    ~FakeDialogs() override { set_dialogs(nullptr); }

    void message(const QString& text, const QString& caption) override { messages.push_back({text, caption}); }
    bool confirm(const QString& text, const QString& caption) override
    {
        confirmations.push_back({text, caption});
        return confirm_answer;
    }
    QString open_file_name(const QString& filter, const QString& start) override
    {
        filters.push_back(filter);
        starts.push_back(start);
        return open_answer;
    }
    QString save_file_name(const QString& filter, const QString& start) override
    {
        filters.push_back(filter);
        starts.push_back(start);
        return save_answer;
    }

    std::vector<Shown> messages;
    std::vector<Shown> confirmations;
    QStringList filters;
    QStringList starts; // where each file dialog was asked to start
    bool confirm_answer = true;
    QString open_answer;
    QString save_answer;
};
