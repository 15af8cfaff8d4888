#pragma once
// Every message box, confirmation and file dialog of the tool goes through this interface, so that
// tests can replace it and never block on a modal dialog.

#include <QString>

class QWidget;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box with the text, the caption and an OK button.
    virtual void message(const QString& text, const QString& caption) = 0;
    // Modal yes/no box; true for Yes.
    virtual bool confirm(const QString& text, const QString& caption) = 0;
    // File dialogs; an empty result means the user cancelled. `filter` uses Qt's filter syntax;
    // the dialog starts at `start` (its folder, with its file name filled in), or where the
    // platform chooses when `start` is empty.
    virtual QString open_file_name(const QString& filter, const QString& start) = 0;
    virtual QString save_file_name(const QString& filter, const QString& start) = 0;
};

// The dialogs in use: the real Qt ones unless a test installed its own.
Dialogs& dialogs();
// Installs a replacement (not owned); nullptr restores the real dialogs.
void set_dialogs(Dialogs* replacement);
// Parent window for the real dialogs (the main window once it exists).
void set_dialog_parent(QWidget* parent);
