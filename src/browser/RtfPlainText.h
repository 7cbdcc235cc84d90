#pragma once

#include <QString>

// The readable text of an RTF document: what a rich-text box would show, without the fonts,
// colours and layout. The document comes as its bytes read as Latin-1 (RTF is 7-bit text; a byte
// above 127 stands for itself in the document's code page).
//
// Paragraphs and line breaks become "\n", tabs "\t"; \'hh escapes and raw bytes are read in the
// Windows-1252 code page (the one our published documents declare), \uN as UTF-16 with its \ucN
// replacement characters skipped; font, colour and style tables, pictures, headers and other
// destinations that are not body text are left out; trailing blank space is dropped. Input that
// does not begin with "{\rtf" is plain text already and comes back as it is. Damaged input
// (unbalanced braces, cut-off control words, huge numbers) gives whatever text could be read.
QString RtfToPlainText(const QString& rtf);
