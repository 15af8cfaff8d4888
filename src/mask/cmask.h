#pragma once
// The mask drawing window: created hidden at start, shown by the Setup page's mask editor.

#include <QWidget>

class TFMask : public QWidget {
    Q_OBJECT
public:
    explicit TFMask(QWidget* owner = nullptr);
};
