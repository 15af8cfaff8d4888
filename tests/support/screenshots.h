#pragma once
// Screenshots for the documentation: scripts/screenshots.sh runs every test named *Screenshot*
// with CAMERA_SCREENSHOTS set to the docs folder; in a normal test run those tests skip.

#include <QDir>
#include <QString>

// The path to save `file_name` to, or an empty string when no screenshots are asked for.
inline QString screenshot_path(const char* file_name)
{
    const QString folder = qEnvironmentVariable("CAMERA_SCREENSHOTS");
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QString::fromLatin1(file_name));
}
