#pragma once
// The Help menu's windows: the short guide (F1), the keyboard and mouse
// list, and About (version, the POV-Ray found, licence).

#include <QString>

class QWidget;

// The POV-Ray version line `program --version` prints ("POV-Ray 3.7.0.10"),
// or a sentence saying it was not found. Waits at most a few seconds.
QString povrayVersion(const QString& program);

// The text of each window, as HTML.
QString guideText();
QString shortcutsText();
QString aboutText(const QString& povray);

// Window-modal message boxes, named "helpBox", "shortcutsBox", "aboutBox";
// they delete themselves when closed.
void showGuide(QWidget* parent);
void showShortcuts(QWidget* parent);
void showAbout(QWidget* parent, const QString& povrayProgram);
