#pragma once

#include <QString>

// The product version text compiled into every program, "major, minor, build, private".
QString ProductVersionText();

// Reads a product version text as major * 256 + minor + build / 100; the fourth number is ignored.
// "0, 1, 6, 0" reads as 1.06. A text that is not four numbers reads as 0.
double ParseProductVersion(const QString& text);

// The running program's product version.
double GetProductVersion();

// The version line of a program's About box and --version: title, two blanks, "Version: 1.06".
QString ProductVersionLine(const QString& title);
