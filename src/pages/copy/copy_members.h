#pragma once
// The Copy page's controls and page state. TFKR58 inherits this struct, so the page's methods use
// every name unqualified.

#include <QByteArray>
#include <QString>

class QCheckBox;
class QFile;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class RadioGroup;

// What a file dialog of the layout keeps between two showings: the file name it shows (the last
// file chosen, "*.dat" at first) and its filter.
struct FileDialogSettings {
    QString FileName;
    QString Filter;
};

struct CopyPageMembers {
    QFrame* Panel7 = nullptr;
    QPushButton* CtopOK2 = nullptr;  // "Camera->PC"
    QPushButton* ptocOk = nullptr;   // "PC->Camera", the single mode
    QPushButton* ptocOk2 = nullptr;  // "PC->Camera(Batch)"
    QCheckBox* Same = nullptr;       // reuse the last file without a dialog
    RadioGroup* Copy_select = nullptr; // the operation started last: 0 ctop, 1 single, 2 batch
    QProgressBar* ProgressBar3 = nullptr;
    QLabel* Copyfname2 = nullptr;    // the data file in use
    QLabel* Label33 = nullptr;
    QLabel* Label35 = nullptr;       // the direction of the last operation
    QLabel* complete2 = nullptr;
    FileDialogSettings SaveDialog1;
    FileDialogSettings OpenDialog1;
    // The folder of the file chosen last in either dialog in this run, where both start next.
    QString copy_last_folder;

    // The data file open for reading in the PC->Camera modes (closed between operations), its
    // size taken when it was opened, and the bytes consumed so far.
    QFile* copy_file = nullptr;
    qint64 copy_file_size = 0;
    qint64 copy_file_pos = 0;
    // The first bytes of the line being parsed.
    QByteArray copy_line;
    // True from the start of an operation until it ends, fails or is abandoned: replies that
    // reach the page at any other time are not part of a copy.
    bool copy_running = false;
    // The EEPROM address whose word Camera->PC has asked for last.
    int ctop_address = 0;
    // The address of the read a Camera->PC copy gave up on (-1 none): the camera may still answer
    // it while the next copy waits for its first word.
    int ctop_unanswered = -1;
};
