#include "mask/cmask.h"

namespace {
constexpr int kWidth = 263;
constexpr int kHeight = 199;
} // namespace

TFMask::TFMask(QWidget* owner) : QWidget(owner, Qt::Window)
{
    // A window of its own that lives as long as the main window and closes with it.
    setObjectName(QStringLiteral("FMask"));
    setWindowTitle(QStringLiteral("Mask"));
    setFixedSize(kWidth, kHeight);
}
