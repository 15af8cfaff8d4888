#pragma once
// The Copy page against the simulator: a window with seams for the file write and the replies, a
// fixture that unlocks the page's buttons with the service code, and file helpers.

#include "support/window_fixture.h"

#include "widgets/radio_group.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace copy_test {

// 1024 exchanges take a while under the sanitizers on a loaded machine.
constexpr int kCopyDeadlineMs = 60000;

inline const QString kFilter = QStringLiteral("データ (*.dat);;すべてのファイル (*)");

class CopyWindow : public TFKR58 {
public:
    using TFKR58::TFKR58;

    // Replaces the file write when set.
    std::function<bool(const QString&, const QByteArray&)> save_file;
    // Runs before the page handles each reply.
    std::function<void()> before_reply;

    bool copy_save_file(const QString& path, const QByteArray& bytes) override
    {
        return save_file ? save_file(path, bytes) : TFKR58::copy_save_file(path, bytes);
    }

protected:
    void Trans_end_copy() override
    {
        if (before_reply) before_reply();
        TFKR58::Trans_end_copy();
    }
};

inline QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The file Camera->PC must write for the simulator's memory as it is now.
inline QByteArray expected_file(sim::SimCamera& camera)
{
    return camera.with_model([](sim::CameraModel& m) {
        QByteArray file;
        for (unsigned a = 0; a < 1023; ++a)
            file += QString::asprintf("230C%04X%04X000000000000000000\r\n", a, m.eeprom_word(a)).toLatin1();
        return file + "F3" + QByteArray(28, '0') + "\r\n";
    });
}

inline std::vector<std::uint16_t> camera_memory(sim::SimCamera& camera)
{
    return camera.with_model([](sim::CameraModel& m) {
        std::vector<std::uint16_t> words;
        for (std::size_t a = 0; a < sim::kParamWords; ++a) words.push_back(m.eeprom_word(a));
        return words;
    });
}

inline Bytes eeprom_read(unsigned address)
{
    return {0x33, 0x0C, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF)};
}

class CopyPageTest : public WindowTest {
protected:
    // The Debug configuration, loaded, with the service code typed on the CCD Defect page, then
    // the Copy page chosen as the user does.
    CopyWindow* open_copy_page()
    {
        CopyWindow* w = open_window<CopyWindow>(TFKR58::Debug);
        EXPECT_TRUE(wait_idle());
        EXPECT_FALSE(w->ptocOk2->isHidden());
        EXPECT_TRUE(w->CtopOK2->isHidden());
        EXPECT_TRUE(w->ptocOk->isHidden());
        w->PageControl1->setCurrentIndex(TFKR58::DefectPage);
        w->Panel1Click();
        w->pwl->setText(QStringLiteral("kwtz"));
        EXPECT_FALSE(w->CtopOK2->isHidden());
        EXPECT_FALSE(w->ptocOk->isHidden());
        w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
        EXPECT_TRUE(wait_idle());
        camera.clear_received();
        return w;
    }

    QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    // True when exactly this one message box has been shown.
    bool shown_once(const char* text, const char* caption) const
    {
        return fake_dialogs.messages.size() == 1 && fake_dialogs.messages[0].text == QLatin1String(text)
               && fake_dialogs.messages[0].caption == QLatin1String(caption);
    }

    // Runs Camera->PC into `name` to its end; true when the file is complete.
    bool camera_to_pc(CopyWindow* w, const char* name)
    {
        fake_dialogs.save_answer = path(name);
        w->CtopOK2->click();
        return QTest::qWaitFor([w] { return !w->copy_running && !w->comm_busy; }, kCopyDeadlineMs)
               && !w->complete2->isHidden();
    }

    QTemporaryDir folder;
};

} // namespace copy_test
