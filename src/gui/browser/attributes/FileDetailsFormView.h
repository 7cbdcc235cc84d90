#pragma once

#include <QWidget>

class CCurrentFileEditor;
class QLineEdit;
class QPlainTextEdit;

// The details of the current file under the file list: its name, alternate names, size, TTH and
// name length to read, and the description and notes to edit. What is typed goes to the editor
// at once and is saved when the person leaves the file, saves or closes the database; a refresh
// of the same file keeps what was typed.
class CFileDetailsFormView final : public QWidget
{
    Q_OBJECT

public:
    explicit CFileDetailsFormView(CCurrentFileEditor& editor, QWidget* parent = nullptr);

    // Fills the fields from the editor's current file (empty and closed to typing without one).
    void OnUpdate();

    QLineEdit* FileField() const { return m_pFile; }
    QPlainTextEdit* AlternateField() const { return m_pAlternate; }
    QLineEdit* FileSizeField() const { return m_pFileSize; }
    QLineEdit* TthField() const { return m_pTth; }
    QLineEdit* LenField() const { return m_pLen; }
    QPlainTextEdit* DescriptionField() const { return m_pDescription; }
    QPlainTextEdit* NotesField() const { return m_pNotes; }

private:
    void OnTextEdited();

    CCurrentFileEditor& m_editor;
    QLineEdit* m_pFile = nullptr;
    QPlainTextEdit* m_pAlternate = nullptr;
    QLineEdit* m_pFileSize = nullptr;
    QLineEdit* m_pTth = nullptr;
    QLineEdit* m_pLen = nullptr;
    QPlainTextEdit* m_pDescription = nullptr;
    QPlainTextEdit* m_pNotes = nullptr;
    bool m_bFilling = false;
};
