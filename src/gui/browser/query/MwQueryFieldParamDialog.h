#pragma once

#include "browser/search/QueryFieldCondition.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;

// One condition row of the Find dialog: the field, the operator its type offers, and the value
// in the form the type and operator take (a number; lines of text, one term each; a size and its
// unit; two moments or a count and a unit). An empty field choice is the row left empty.
class CMwQueryFieldParamDialog final : public QWidget
{
    Q_OBJECT

public:
    explicit CMwQueryFieldParamDialog(const std::vector<SSearchField>& fields, QWidget* parent = nullptr);

    // Shows a condition; a field that is not among the searchable ones leaves the row empty.
    void SetParam(const SQueryFieldParam& param);
    SQueryFieldParam Param() const;
    bool IsEmpty() const;

    QComboBox* FieldBox() const { return m_pField; }
    QComboBox* OperatorBox() const { return m_pOperator; }

signals:
    // The field was chosen or changed.
    void fieldChosen();

private:
    void OnFieldChanged();
    void OnOperatorChanged();
    const SSearchField* ChosenField() const;

    std::vector<SSearchField> m_fields;
    QComboBox* m_pField = nullptr;
    QComboBox* m_pOperator = nullptr;
    QStackedWidget* m_pValues = nullptr;
    QLineEdit* m_pNumber = nullptr;
    QPlainTextEdit* m_pText = nullptr;
    QLineEdit* m_pSize = nullptr;
    QComboBox* m_pSizeUnit = nullptr;
    QDateTimeEdit* m_pFrom = nullptr;
    QLabel* m_pTo = nullptr;
    QDateTimeEdit* m_pUntil = nullptr;
    QLineEdit* m_pCount = nullptr;
    QComboBox* m_pTimeUnit = nullptr;
    QWidget* m_pNone = nullptr;
    QWidget* m_pSizePage = nullptr;
    QWidget* m_pDatePage = nullptr;
    QWidget* m_pCountPage = nullptr;
};
