#pragma once
// Points an environment variable (XDG_CONFIG_HOME, XDG_RUNTIME_DIR) at a fresh temporary folder
// for the life of the object, so that port links and locks made by a test never touch the user's.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

class PrivateFolder {
public:
    explicit PrivateFolder(const char* variable) : variable_(variable), saved_(qgetenv(variable))
    {
        qputenv(variable_, folder_.path().toUtf8());
    }
    ~PrivateFolder()
    {
        if (saved_.isNull())
            qunsetenv(variable_);
        else
            qputenv(variable_, saved_);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool isValid() const { return folder_.isValid(); }
    QString path() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
    const char* variable_;
    QByteArray saved_;
};
