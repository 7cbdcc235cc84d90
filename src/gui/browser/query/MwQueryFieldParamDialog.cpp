#include "gui/browser/query/MwQueryFieldParamDialog.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>

namespace
{
QWidget* Page(QStackedWidget* stack, std::initializer_list<QWidget*> widgets)
{
    auto* page = new QWidget(stack);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
    {
        widget->setParent(page);
        layout->addWidget(widget);
    }
    layout->addStretch();
    stack->addWidget(page);
    return page;
}

QDateTimeEdit* DateTimeEdit(const QString& name)
{
    auto* edit = new QDateTimeEdit(QDateTime(QDate::currentDate(), QTime(0, 0)));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setAccessibleName(name);
    return edit;
}
} // namespace

CMwQueryFieldParamDialog::CMwQueryFieldParamDialog(const std::vector<SSearchField>& fields, QWidget* parent)
    : QWidget(parent), m_fields(fields)
{
    m_pField = new QComboBox(this);
    m_pField->setAccessibleName(QStringLiteral("Field"));
    m_pField->addItem(QString());
    for (const SSearchField& field : m_fields)
        m_pField->addItem(field.strField);
    m_pOperator = new QComboBox(this);
    m_pOperator->setAccessibleName(QStringLiteral("Operator"));
    m_pOperator->setMinimumContentsLength(12);

    m_pValues = new QStackedWidget(this);
    m_pNone = new QWidget(m_pValues);
    m_pValues->addWidget(m_pNone);
    m_pNumber = new QLineEdit;
    m_pNumber->setAccessibleName(QStringLiteral("Value"));
    Page(m_pValues, {m_pNumber});
    m_pText = new QPlainTextEdit;
    m_pText->setAccessibleName(QStringLiteral("Value (one term a line)"));
    m_pText->setTabChangesFocus(true);
    m_pText->setFixedHeight(m_pText->fontMetrics().lineSpacing() * 3 + 12);
    Page(m_pValues, {m_pText});
    m_pSize = new QLineEdit;
    m_pSize->setAccessibleName(QStringLiteral("Size"));
    m_pSizeUnit = new QComboBox;
    m_pSizeUnit->setAccessibleName(QStringLiteral("Size unit"));
    m_pSizeUnit->addItems(SizeUnits());
    m_pSizePage = Page(m_pValues, {m_pSize, m_pSizeUnit});
    m_pFrom = DateTimeEdit(QStringLiteral("From"));
    m_pTo = new QLabel(QStringLiteral("to"));
    m_pUntil = DateTimeEdit(QStringLiteral("To"));
    m_pUntil->setDateTime(QDateTime(QDate::currentDate(), QTime(23, 59, 59)));
    m_pDatePage = Page(m_pValues, {m_pFrom, m_pTo, m_pUntil});
    m_pCount = new QLineEdit;
    m_pCount->setAccessibleName(QStringLiteral("Count"));
    m_pTimeUnit = new QComboBox;
    m_pTimeUnit->setAccessibleName(QStringLiteral("Time unit"));
    m_pTimeUnit->addItems(TimeUnits());
    m_pCountPage = Page(m_pValues, {m_pCount, m_pTimeUnit});

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pField);
    layout->addWidget(m_pOperator);
    layout->addWidget(m_pValues, 1);

    connect(m_pField, &QComboBox::currentIndexChanged, this, &CMwQueryFieldParamDialog::OnFieldChanged);
    connect(m_pOperator, &QComboBox::currentIndexChanged, this, &CMwQueryFieldParamDialog::OnOperatorChanged);
    OnFieldChanged();
}

const SSearchField* CMwQueryFieldParamDialog::ChosenField() const
{
    const int index = m_pField->currentIndex() - 1;
    return index >= 0 && index < static_cast<int>(m_fields.size()) ? &m_fields[static_cast<size_t>(index)]
                                                                   : nullptr;
}

bool CMwQueryFieldParamDialog::IsEmpty() const
{
    return ChosenField() == nullptr;
}

void CMwQueryFieldParamDialog::OnFieldChanged()
{
    const SSearchField* field = ChosenField();
    const int type = field ? field->nType : 0;
    const QSignalBlocker block(m_pOperator);
    m_pOperator->clear();
    m_pOperator->addItems(QueryFieldOperators(type));
    m_pOperator->setCurrentText(DefaultQueryFieldOperator(type));
    m_pOperator->setEnabled(field != nullptr);
    m_pSizeUnit->setCurrentText(DefaultSizeUnit());
    m_pTimeUnit->setCurrentText(DefaultTimeUnit());
    OnOperatorChanged();
    if (field)
        emit fieldChosen();
}

void CMwQueryFieldParamDialog::OnOperatorChanged()
{
    const SSearchField* field = ChosenField();
    switch (field ? field->nType : 0)
    {
    case kFieldInteger:
        m_pValues->setCurrentWidget(m_pNumber->parentWidget());
        break;
    case kFieldText:
    case kFieldList:
    case kFieldMemo:
        m_pValues->setCurrentWidget(m_pText->parentWidget());
        break;
    case kFieldSize:
        m_pValues->setCurrentWidget(m_pSizePage);
        break;
    case kFieldDate:
    {
        const QString op = m_pOperator->currentText();
        m_pValues->setCurrentWidget(IsRelativeDateOperator(op) ? m_pCountPage : m_pDatePage);
        const bool between = op == QLatin1String("Between");
        m_pTo->setVisible(between);
        m_pUntil->setVisible(between);
        break;
    }
    default:
        m_pValues->setCurrentWidget(m_pNone);
        break;
    }
    // A stack is as tall as its tallest page; a row is as tall as what it shows.
    m_pValues->setFixedHeight(
        qMax(m_pField->sizeHint().height(), m_pValues->currentWidget()->sizeHint().height()));
}

void CMwQueryFieldParamDialog::SetParam(const SQueryFieldParam& param)
{
    const int index = m_pField->findText(param.field.strField, Qt::MatchFixedString);
    m_pField->setCurrentIndex(index > 0 ? index : 0);
    const SSearchField* field = ChosenField();
    if (!field)
        return;
    if (m_pOperator->findText(param.strOperator) >= 0)
        m_pOperator->setCurrentText(param.strOperator);
    switch (field->nType)
    {
    case kFieldInteger:
        m_pNumber->setText(param.strValue);
        break;
    case kFieldSize:
        m_pSize->setText(param.strValue);
        if (m_pSizeUnit->findText(param.strUnit) >= 0)
            m_pSizeUnit->setCurrentText(param.strUnit);
        break;
    case kFieldDate:
        m_pCount->setText(param.strValue);
        if (m_pTimeUnit->findText(param.strUnit) >= 0)
            m_pTimeUnit->setCurrentText(param.strUnit);
        if (param.dtFrom.isValid())
            m_pFrom->setDateTime(param.dtFrom);
        if (param.dtTo.isValid())
            m_pUntil->setDateTime(param.dtTo);
        break;
    case kFieldYesNo:
        break;
    default:
        // The box shows line feeds; the condition splits its lines either way.
        m_pText->setPlainText(QString(param.strValue).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        break;
    }
}

SQueryFieldParam CMwQueryFieldParamDialog::Param() const
{
    SQueryFieldParam param;
    const SSearchField* field = ChosenField();
    if (!field)
        return param;
    param.field = *field;
    param.strOperator = m_pOperator->currentText();
    switch (field->nType)
    {
    case kFieldInteger:
        param.strValue = m_pNumber->text();
        break;
    case kFieldSize:
        param.strValue = m_pSize->text();
        param.strUnit = m_pSizeUnit->currentText();
        break;
    case kFieldDate:
        if (IsRelativeDateOperator(param.strOperator))
        {
            param.strValue = m_pCount->text();
            param.strUnit = m_pTimeUnit->currentText();
        }
        else
        {
            param.dtFrom = m_pFrom->dateTime();
            if (param.strOperator == QLatin1String("Between"))
                param.dtTo = m_pUntil->dateTime();
        }
        break;
    case kFieldYesNo:
        break;
    default:
        param.strValue = m_pText->toPlainText();
        break;
    }
    return param;
}
