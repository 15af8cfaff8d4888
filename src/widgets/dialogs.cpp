#include "widgets/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget> g_parent;

class QtDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString& caption) override
    {
        // Every message the tool shows reports something that went wrong.
        QMessageBox::warning(g_parent, caption, text, QMessageBox::Ok);
    }

    bool confirm(const QString& text, const QString& caption) override
    {
        return QMessageBox::question(g_parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
               == QMessageBox::Yes;
    }

    QString open_file_name(const QString& filter, const QString& start) override
    {
        return QFileDialog::getOpenFileName(g_parent, QString(), start, filter);
    }

    QString save_file_name(const QString& filter, const QString& start) override
    {
        // The pages ask about an existing file themselves, with their own text.
        return QFileDialog::getSaveFileName(g_parent, QString(), start, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    }
};

QtDialogs g_qt_dialogs;
Dialogs* g_current = &g_qt_dialogs;

} // namespace

Dialogs& dialogs() { return *g_current; }

void set_dialogs(Dialogs* replacement) { g_current = replacement ? replacement : &g_qt_dialogs; }

void set_dialog_parent(QWidget* parent) { g_parent = parent; }
