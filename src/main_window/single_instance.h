#pragma once
// One running instance per user: a lock file keyed on the tool's name and the user, and a local
// socket through which a second start asks the running instance to bring its window to the front.

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;
class QWidget;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance. Otherwise the running instance has been asked
    // to raise its window (as far as it could be reached) and this one should end.
    bool acquire();

    // The window to bring to the front when another start asks for it.
    void set_window(QWidget* window) { window_ = window; }

    // The window a second start brings to the front.
    QWidget* window_to_raise() const;

    QString lock_path() const { return lock_path_; }
    QString server_name() const { return server_name_; }

signals:
    // Another start asked for the window (after it has been raised).
    void raiseRequested();

private:
    void raise_window();

    QString lock_path_;
    QString server_name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    QPointer<QWidget> window_;
};
