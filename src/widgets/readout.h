#pragma once
// A label that shows a value (a register read-out, the lens level, a file name) must tell an
// assistive tool both what it is and what it shows. A plain QLabel gives an assistive tool either
// its accessible name or its text, never both.

#include <QString>

class QLabel;

// Makes `label` a read-out described as `what`: its accessible name becomes "<what>: <text>" and
// its accessible value the text, both following every later setText. The label's own
// accessibleName() stays empty, because a QLabel announces a text change (NameChanged) only then.
void make_readout(QLabel* label, const QString& what);
